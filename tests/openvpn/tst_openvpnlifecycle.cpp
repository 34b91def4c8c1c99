// The OpenVPN process lifecycle through a real vpn-service, with an OpenVPN stand-in that
// follows a script (fake_openvpn.cpp).
#include "app/logger.h"
#include "service/servicecontroller.h"
#include "servicefixture.h"
#include "testclient.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Emission = QList<QVariant>;

class TestOpenVpnLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startWithoutServer();
    void startWithProgramMissing();
    void startWithLineBreakInCredentials();
    void stopWhenNotRunning();
    void crashExit();
    void exitZeroWithAutoReconnect();
    void exitZeroWithoutAutoReconnect();
    void startWhileRunning();
    void destructionWhileStarting();

private:
    void setScript(const QByteArray& steps);
    QStringList runs() const;
    QStringList received() const;
    // Service log lines with commands from the client, "init: connection" left out.
    QStringList commands() const;
    static QStringList states(const QSignalSpy& spy);

    QTemporaryDir dataHome;
    ServiceFixture service;
    ServiceController* controller = nullptr;
    std::unique_ptr<TestClient> client;
    std::unique_ptr<LogCapture> log;
    int commandsBefore = 0;
};

void TestOpenVpnLifecycle::initTestCase()
{
    // The client's log files (and OpenVPN's, which it creates) go to a private folder.
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    Logger::instance();

    QString error;
    QVERIFY2(service.start(QStringLiteral(VPN_TEST_BIN_DIR "/fake_openvpn"), &error), qPrintable(error));
    controller = new ServiceController(this);
    QSignalSpy connected(controller, &ServiceController::connected);
    QVERIFY(connected.wait(10000));
    QTRY_VERIFY(service.log().contains(QStringLiteral("init: connection")));
}

void TestOpenVpnLifecycle::cleanupTestCase()
{
    service.stop();
}

void TestOpenVpnLifecycle::init()
{
    log = std::make_unique<LogCapture>();
    QFile::remove(service.openVpnFolder() + QStringLiteral("/args.log"));
    QFile::remove(service.openVpnFolder() + QStringLiteral("/received.log"));
    commandsBefore = service.log().count(QStringLiteral("Command from "));
    client = std::make_unique<TestClient>();
    client->setCredentials(QStringLiteral("demo"), QStringLiteral("demo-password"));
}

void TestOpenVpnLifecycle::cleanup()
{
    client.reset();
    // Whatever a failed case left running ends before the next case, and the kill command is
    // in the service's log before the next case counts commands.
    const int before = service.log().count(QStringLiteral("Command from "));
    controller->sendCommand(QStringLiteral("start: <kill openvpn>"));
    QTRY_VERIFY(service.log().count(QStringLiteral("Command from ")) > before);
    QTRY_VERIFY(service.log().count(QStringLiteral("Finished openvpn"))
        >= service.log().count(QStringLiteral("Started openvpn")));
    log.reset();
}

void TestOpenVpnLifecycle::setScript(const QByteArray& steps)
{
    QFile file(service.openVpnFolder() + QStringLiteral("/script"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(steps);
}

QStringList TestOpenVpnLifecycle::runs() const
{
    QFile file(service.openVpnFolder() + QStringLiteral("/args.log"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList TestOpenVpnLifecycle::received() const
{
    QFile file(service.openVpnFolder() + QStringLiteral("/received.log"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList TestOpenVpnLifecycle::commands() const
{
    QStringList result;
    const QStringList lines = service.log().split(QLatin1Char('\n'));
    int seen = 0;
    for (const QString& line : lines) {
        const int at = line.indexOf(QStringLiteral("Command from "));
        if (at < 0) {
            continue;
        }
        if (seen++ < commandsBefore) {
            continue;
        }
        const QString command = line.mid(line.indexOf(QStringLiteral(": "), at) + 2);
        if (command != QStringLiteral("init: connection")) {
            result << command;
        }
    }
    return result;
}

QStringList TestOpenVpnLifecycle::states(const QSignalSpy& spy)
{
    QStringList result;
    for (const Emission& emission : spy) {
        result << QStringLiteral("%1 '%2' %3")
                      .arg(VpnClient::stateName(emission.at(0).toInt(), false), emission.at(1).toString(),
                          emission.at(2).toBool() ? QStringLiteral("critical") : QString())
                      .trimmed();
    }
    return result;
}

void TestOpenVpnLifecycle::startWithoutServer()
{
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QVERIFY(!client->start());
    QCOMPARE(states(spy),
        (QStringList { QStringLiteral("Disconnected ''"), QStringLiteral("Error 'OpenVPN server is empty!'") }));
    QTest::qWait(500);
    QCOMPARE(commands(), QStringList());
}

void TestOpenVpnLifecycle::startWithProgramMissing()
{
    const QString program = OpenVpnClient::openVpnExecutablePath();
    QVERIFY(QFile::rename(program, program + QStringLiteral(".away")));
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    const bool started = client->start();
    QFile::rename(program + QStringLiteral(".away"), program);
    QVERIFY(!started);
    QCOMPARE(states(spy),
        (QStringList { QStringLiteral("Disconnected ''"),
            QStringLiteral("Error 'OpenVPN executable '%1' does not exists'").arg(program) }));
    QTest::qWait(500);
    QCOMPARE(commands(), QStringList());
}

void TestOpenVpnLifecycle::startWithLineBreakInCredentials()
{
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    client->setCredentials(QStringLiteral("demo\nsignal SIGTERM"), QStringLiteral("x"));
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QVERIFY(!client->start());
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toInt(), int(VpnClient::Error));
    QVERIFY(!spy.at(1).at(1).toString().isEmpty());
    QCOMPARE(spy.at(1).at(2).toBool(), true);
    QTest::qWait(500);
    QCOMPARE(commands(), QStringList());
}

void TestOpenVpnLifecycle::stopWhenNotRunning()
{
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QVERIFY(client->stop());
    QCOMPARE(states(spy), QStringList { QStringLiteral("Disconnected ''") });
    QTest::qWait(500);
    QCOMPARE(commands(), QStringList());
    QCOMPARE(log->count(QStringLiteral("Send TERM signal")), 0);
}

void TestOpenVpnLifecycle::crashExit()
{
    setScript("exit 3\nserve\n");
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), 3);
    QCOMPARE(states(spy),
        (QStringList { QStringLiteral("Disconnected ''"), QStringLiteral("Connecting ''"),
            QStringLiteral("Disconnected 'CrashExit'") }));
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Process finished with code: 3")), 1);
    // The exit handler's stop finds no management socket and asks for a kill; nothing restarts.
    QTRY_COMPARE(commands().size(), 2);
    QVERIFY(commands().at(0).startsWith(QStringLiteral("start: \"")));
    QCOMPARE(commands().at(1), QStringLiteral("start: <kill openvpn>"));
    QTest::qWait(1500);
    QCOMPARE(runs().size(), 1);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
}

void TestOpenVpnLifecycle::exitZeroWithAutoReconnect()
{
    setScript("exit 0\nserve\n");
    client->setServer(QStringLiteral("198.51.100.1"), false, true);
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QSignalSpy assigned(client.get(), &VpnClient::assignedInternalIp);
    QVERIFY(client->start());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Reconnecting...")), 1);

    // The second run serves the dialogue and comes up.
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 5, 15000);
    QCOMPARE(states(spy),
        (QStringList { QStringLiteral("Disconnected ''"), QStringLiteral("Connecting ''"),
            QStringLiteral("Disconnected ''"), QStringLiteral("Connecting ''"), QStringLiteral("Connected ''") }));
    QCOMPARE(assigned.count(), 1);
    QCOMPARE(runs().size(), 2);
    // A repeated stop for the ended run (no socket: a kill), then the new start.
    QStringList sent = commands();
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent.at(1), QStringLiteral("start: <kill openvpn>"));
    const QString program = QStringLiteral("start: \"%1\" \"--config\" ").arg(OpenVpnClient::openVpnExecutablePath());
    QVERIFY(sent.at(0).startsWith(program));
    QVERIFY(sent.at(2).startsWith(program));

    // Stop: SIGTERM on the management socket; the exit that follows restarts nothing.
    QVERIFY(client->stop());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(1).at(0).toInt(), 0);
    QVERIFY(received().contains(QStringLiteral("signal SIGTERM")));
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Send TERM signal, status: true")), 1);
    QTest::qWait(1000);
    QCOMPARE(runs().size(), 2);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 1);
}

void TestOpenVpnLifecycle::exitZeroWithoutAutoReconnect()
{
    setScript("exit 0\nserve\n");
    client->setServer(QStringLiteral("198.51.100.1"), true, false);
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QCOMPARE(states(spy), (QStringList { QStringLiteral("Disconnected ''"), QStringLiteral("Connecting ''") }));
    QTest::qWait(1000);
    QCOMPARE(runs().size(), 1);
    QCOMPARE(commands().size(), 1);
}

void TestOpenVpnLifecycle::startWhileRunning()
{
    // The first run ends with 1 on its stop signal: the exit of a replaced run must neither
    // mark a crash nor end or restart the new run.
    setScript("serve 1\nserve\n");
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 10000);
    QCOMPARE(spy.at(2).at(0).toInt(), int(VpnClient::Connected));
    const QString firstConfig = runs().value(0).split(QLatin1Char('\t')).value(1);
    QVERIFY(QFileInfo::exists(firstConfig));

    log->clear();
    spy.clear();
    QVERIFY(client->start());
    // The running OpenVPN gets SIGTERM first, then the new start goes out.
    const QStringList lines = log->lines();
    int term = -1;
    int startCommand = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (term < 0 && lines.at(i).contains(QStringLiteral("Send TERM signal, status: true"))) {
            term = i;
        }
        if (startCommand < 0 && lines.at(i).contains(QStringLiteral("ServiceController: Send data: [start: \""))) {
            startCommand = i;
        }
    }
    QVERIFY(term >= 0);
    QVERIFY(startCommand > term);
    QTRY_VERIFY(received().contains(QStringLiteral("signal SIGTERM")));

    // The first run's exit comes, then the second run comes up on its own.
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.at(0).at(0).toInt(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 10000);
    QCOMPARE(states(spy),
        (QStringList {
            QStringLiteral("Disconnected ''"), QStringLiteral("Connecting ''"), QStringLiteral("Connected ''") }));
    QCOMPARE(runs().size(), 2);
    QCOMPARE(commands().size(), 2);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);

    // Two starts, one configuration file: the second one's.
    const QString secondConfig = runs().at(1).split(QLatin1Char('\t')).value(1);
    QVERIFY(secondConfig != firstConfig);
    QVERIFY(!QFileInfo::exists(firstConfig));
    QVERIFY(QFileInfo::exists(secondConfig));
}

void TestOpenVpnLifecycle::destructionWhileStarting()
{
    setScript("serve\n");
    const auto handled = [this] {
        return service.log().count(QStringLiteral("Started openvpn"))
            + service.log().count(QStringLiteral("Refused to run openvpn"));
    };
    const int handledBefore = handled();
    client->setServer(QStringLiteral("198.51.100.1"), true, false);
    QVERIFY(client->start());
    client.reset();
    // The service runs it, or refuses it when the configuration file went with the client first.
    QTRY_COMPARE_WITH_TIMEOUT(handled(), handledBefore + 1, 10000);
    QVERIFY(runs().size() <= 1);
    QTest::qWait(1000);
    const QStringList sent = commands();
    QCOMPARE(sent.size(), 1);
    QVERIFY(sent.at(0).startsWith(QStringLiteral("start: \"")));
}

QTEST_GUILESS_MAIN(TestOpenVpnLifecycle)
#include "tst_openvpnlifecycle.moc"
