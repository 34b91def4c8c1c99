// The client's service link against a real vpn-service process on 127.0.0.1:6447.
#include "logcapture.h"
#include "service/openvpnprocess.h"
#include "service/servicecontroller.h"
#include "service/serviceprocess.h"
#include "servicefixture.h"

#include <QSignalSpy>
#include <QTest>

class TestServiceLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void serviceAbsentAtStartAppearsLater();
    void restartSendsNoSecondInitAndNoDuplicates();
    void startedAndFinishedCarryRealExitCode();
    void programThatCannotStartReportsNonZero_data();
    void programThatCannotStartReportsNonZero();
    void stopAndKillRunningOpenVpn();
    void secondOpenVpnEndsTheFirst();
    void initEndsLeftOverOpenVpnSilently();
    void argumentsArePassedVerbatim();
    void programsEndWithTheService();

private:
    static QStringList withPrefix(const QStringList& messages, const QString& prefix);
    ServiceFixture* fixture = nullptr;
};

void TestServiceLink::init()
{
    fixture = new ServiceFixture;
    QVERIFY(fixture->isValid());
}

void TestServiceLink::cleanup()
{
    if (QTest::currentTestFailed()) {
        qWarning().noquote() << "Service log:\n" << fixture->serviceLog();
    }
    fixture->stopService();
    const QString report = fixture->sanitizerReport();
    delete fixture;
    fixture = nullptr;
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

QStringList TestServiceLink::withPrefix(const QStringList& messages, const QString& prefix)
{
    QStringList result;
    for (const QString& message : messages) {
        if (message.startsWith(prefix)) {
            result.append(message);
        }
    }
    return result;
}

static QStringList texts(const QSignalSpy& spy)
{
    QStringList result;
    for (const QList<QVariant>& arguments : spy) {
        result.append(arguments.at(0).toString());
    }
    return result;
}

void TestServiceLink::serviceAbsentAtStartAppearsLater()
{
    LogCapture log;
    ServiceController controller;
    QSignalSpy initial(&controller, &ServiceController::initialConnectionStatusChanged);
    QSignalSpy connected(&controller, &ServiceController::connected);
    QSignalSpy output(&controller, &ServiceController::processOutput);

    controller.sendCommand(ServiceProcess::startCommand({ fixture->path("killswitch"), "A" }));
    controller.sendCommand(ServiceProcess::startCommand({ fixture->path("killswitch"), "B" }));

    // Nobody listens for a while: an error on every attempt, every 3 s.
    QTRY_VERIFY_WITH_TIMEOUT(log.count("ServiceController: Reopen connection") >= 2, 10000);
    QTRY_COMPARE(
        log.count("ServiceController: Web socket error: "), log.count("ServiceController: Reopen connection") + 1);
    QCOMPARE(initial.count(), 1);
    QCOMPARE(connected.count(), 0);

    QVERIFY(fixture->startService());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
    QCOMPARE(initial.count(), 1);

    // "init: connection" first (the service lifts the network lock for it), then A, then B.
    QTRY_COMPARE_WITH_TIMEOUT(output.count(), 4, 5000);
    QCOMPARE(fixture->records(), QStringList({ "killswitch disable all", "killswitch A", "killswitch B" }));
    const QStringList messages = texts(output);
    QVERIFY2(
        messages.at(0).startsWith("started:") && messages.at(0).endsWith(",0,killswitch"), qPrintable(messages.at(0)));
    QVERIFY2(
        messages.at(1).startsWith("finished:") && messages.at(1).endsWith(",0,killswitch"), qPrintable(messages.at(1)));
    QVERIFY(messages.at(2).startsWith("started:"));
    QVERIFY(messages.at(3).startsWith("finished:"));
    QVERIFY(!messages.at(0).endsWith('\n'));

    const QStringList lines = log.lines();
    const int init = lines.indexOf("ServiceController: Send data: [init: connection]");
    const int bufferedA = lines.indexOf("ServiceController: Save data in buffer: "
        + ServiceProcess::startCommand({ fixture->path("killswitch"), "A" }));
    const int bufferedB = lines.indexOf("ServiceController: Save data in buffer: "
        + ServiceProcess::startCommand({ fixture->path("killswitch"), "B" }));
    QVERIFY(init >= 0);
    QVERIFY(bufferedA > init);
    QVERIFY(bufferedB > bufferedA);
    QCOMPARE(log.count("ServiceController: Invalid socked, data will be bufferedd: start: "), 2);
}

void TestServiceLink::restartSendsNoSecondInitAndNoDuplicates()
{
    QVERIFY(fixture->startService());
    LogCapture log;
    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    QSignalSpy disconnected(&controller, &ServiceController::disconnected);
    QSignalSpy output(&controller, &ServiceController::processOutput);
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);

    fixture->killService();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 5000);
    QCOMPARE(log.count("ServiceController: Connection lost"), 1);
    QVERIFY(fixture->startService());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 8000);

    ServiceProcess dns("dns");
    QSignalSpy finished(&dns, &ServiceProcess::finished);
    dns.start(QStringList { fixture->path("dns"), "after-restart" });
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(withPrefix(texts(output), "started:").size(), 1);
    QCOMPARE(withPrefix(texts(output), "finished:").size(), 1);

    QCOMPARE(log.count("Send data: [init: connection]"), 1);
    QCOMPARE(fixture->serviceLog().count(": init: connection"), 1);
    QStringList records = fixture->records();
    records.sort(); // different programs run side by side
    QCOMPARE(records, QStringList({ "dns after-restart", "killswitch disable all" }));
}

void TestServiceLink::startedAndFinishedCarryRealExitCode()
{
    QVERIFY(fixture->startService());
    ServiceController controller;
    QSignalSpy output(&controller, &ServiceController::processOutput);
    ServiceProcess dns("dns");
    ServiceProcess killSwitch("killswitch");
    QSignalSpy started(&dns, &ServiceProcess::started);
    QSignalSpy finished(&dns, &ServiceProcess::finished);
    QSignalSpy otherFinished(&killSwitch, &ServiceProcess::finished);

    dns.start(QStringList { fixture->path("dns"), "exit", "7" });
    QCOMPARE(dns.state(), int(Starting));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 8000);
    QCOMPARE(started.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 7);
    QCOMPARE(dns.state(), int(NotRunning));
    // The kill switch run of "init: connection" is the service's own business, not reported.
    QCOMPARE(otherFinished.count(), 0);
    // Different programs run side by side, so their order is open.
    QTRY_COMPARE(fixture->records().size(), 2);
    QVERIFY(fixture->records().contains("killswitch disable all"));
    QVERIFY(fixture->records().contains("dns exit 7"));
}

void TestServiceLink::programThatCannotStartReportsNonZero_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("not executable") << "chmod";
    QTest::newRow("missing") << "remove";
}

void TestServiceLink::programThatCannotStartReportsNonZero()
{
    QFETCH(QString, damage);
    const QString dnsPath = fixture->path("dns");
    if (damage == "chmod") {
        QVERIFY(
            QFile::setPermissions(dnsPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    } else {
        QVERIFY(QFile::remove(dnsPath));
    }
    QVERIFY(fixture->startService());
    ServiceController controller;
    ServiceProcess dns("dns");
    QSignalSpy started(&dns, &ServiceProcess::started);
    QSignalSpy error(&dns, &ServiceProcess::error);
    dns.start(QStringList { dnsPath, "x" });
    QTRY_COMPARE_WITH_TIMEOUT(error.count(), 1, 8000);
    QVERIFY(error.at(0).at(0).toInt() != 0);
    QCOMPARE(started.count(), 0);
    QCOMPARE(dns.state(), int(NotRunning));
    QVERIFY(!fixture->records().join('\n').contains("dns"));
}

void TestServiceLink::stopAndKillRunningOpenVpn()
{
    QVERIFY(fixture->startService());
    ServiceController controller;
    OpenVpnProcess openVpn;
    QSignalSpy started(&openVpn, &ServiceProcess::started);
    QSignalSpy finished(&openVpn, &ServiceProcess::finished);

    openVpn.start(fixture->openVpnCommand());
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 8000);
    QTRY_COMPARE(fixture->openVpnRuns(), 1); // ready for SIGTERM
    QCOMPARE(openVpn.state(), int(Running));
    openVpn.stop("anything");
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 8000);
    QCOMPARE(finished.at(0).at(0).toInt(), 0); // a graceful end
    QVERIFY(fixture->records().contains("openvpn SIGTERM"));

    fixture->clearRecords();
    openVpn.start(fixture->openVpnCommand());
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, 8000);
    QTRY_COMPARE(fixture->openVpnRuns(), 1);
    openVpn.killOpenVpn();
    QCOMPARE(openVpn.state(), int(Running)); // the kill command does not change the state
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 8000);
    QCOMPARE(finished.at(1).at(0).toInt(), 9); // SIGKILL: no clean exit
    QCOMPARE(openVpn.state(), int(NotRunning));
    QVERIFY(!fixture->records().contains("openvpn SIGTERM"));
}

void TestServiceLink::secondOpenVpnEndsTheFirst()
{
    QVERIFY(fixture->startService());
    ServiceController controller;
    QSignalSpy output(&controller, &ServiceController::processOutput);
    OpenVpnProcess openVpn;
    QSignalSpy started(&openVpn, &ServiceProcess::started);
    openVpn.start(fixture->openVpnCommand());
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 8000);
    QTRY_COMPARE(fixture->openVpnRuns(), 1); // ready for SIGTERM
    openVpn.start(fixture->openVpnCommand());
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, 8000);

    // Never two at once: the first one's end is reported before the second one's start.
    const QStringList all = texts(output);
    const QStringList openVpnLines = all.filter(",openvpn");
    QCOMPARE(openVpnLines.size(), 3);
    QVERIFY(openVpnLines.at(0).startsWith("started:"));
    QVERIFY(openVpnLines.at(1).startsWith("finished:"));
    QVERIFY(openVpnLines.at(1).endsWith(",0,openvpn"));
    QVERIFY(openVpnLines.at(2).startsWith("started:"));
    openVpn.killOpenVpn();
}

void TestServiceLink::initEndsLeftOverOpenVpnSilently()
{
    QVERIFY(fixture->startService());
    {
        ServiceController earlier;
        OpenVpnProcess openVpn;
        QSignalSpy started(&openVpn, &ServiceProcess::started);
        openVpn.start(fixture->openVpnCommand());
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 8000);
        QTRY_COMPARE(fixture->openVpnRuns(), 1); // ready for SIGTERM
    } // the earlier client goes away, its OpenVPN keeps running

    ServiceController fresh;
    QSignalSpy connected(&fresh, &ServiceController::connected);
    QSignalSpy output(&fresh, &ServiceController::processOutput);
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(fixture->records().contains("openvpn SIGTERM"), 8000);
    QTRY_VERIFY_WITH_TIMEOUT(fixture->records().contains("killswitch disable all"), 8000);
    QTest::qWait(300);
    // The new client's own OpenVPN process must not take that end for its own.
    QCOMPARE(texts(output), QStringList());
}

void TestServiceLink::argumentsArePassedVerbatim()
{
    QVERIFY(fixture->startService());
    ServiceController controller;
    ServiceProcess dns("dns");
    QSignalSpy finished(&dns, &ServiceProcess::finished);
    const QString marker = fixture->appDir() + "/marker";
    dns.start(QStringList { fixture->path("dns"), "two words", "$(touch " + marker + ")", "; touch " + marker, "" });
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 8000);
    QVERIFY(fixture->records().contains("dns two words $(touch " + marker + ") ; touch " + marker + " "));
    QVERIFY(!QFile::exists(marker));
}

void TestServiceLink::programsEndWithTheService()
{
    QVERIFY(fixture->startService());
    ServiceController controller;
    OpenVpnProcess openVpn;
    QSignalSpy started(&openVpn, &ServiceProcess::started);
    openVpn.start(fixture->openVpnCommand());
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 8000);
    QTRY_COMPARE(fixture->openVpnRuns(), 1);
    // A crashed service leaves no OpenVPN behind that no one could stop.
    fixture->killService();
    QTRY_VERIFY_WITH_TIMEOUT(fixture->records().contains("openvpn SIGTERM"), 5000);
}

QTEST_GUILESS_MAIN(TestServiceLink)
#include "tst_servicelink.moc"
