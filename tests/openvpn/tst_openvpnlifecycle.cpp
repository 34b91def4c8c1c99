// The OpenVPN process lifecycle through a real vpn-service, with an OpenVPN stand-in that
// follows a script (fake_openvpn.py).
#include "app/logger.h"
#include "service/servicecontroller.h"
#include "support.h"

#include <QFileInfo>
#include <QtTest>

#include <memory>

class TestOpenVpnLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refused_data();
    void refused();
    void exits_data();
    void exits();
    void startWhileRunning();
    void destructionWhileStarting();

private:
    void setScript(const QByteArray& steps);
    QStringList lines(const QString& name) const;
    // The client's commands in the service log since init(): "start", "kill" or the command itself.
    QStringList commands() const;

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
    const QString error = service.start(QStringLiteral(VPN_TEST_DATA_DIR "/../openvpn/fake_openvpn.py"));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    controller = new ServiceController(this);
    QSignalSpy connected(controller, &ServiceController::connected);
    QVERIFY(connected.wait(10000));
    QTRY_VERIFY(service.log().contains(QStringLiteral("init: connection")));
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
    // Whatever a case left running ends, and the kill is logged before the next case counts commands.
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

QStringList TestOpenVpnLifecycle::lines(const QString& name) const
{
    QFile file(service.openVpnFolder() + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList();
}

QStringList TestOpenVpnLifecycle::commands() const
{
    const QString start = QStringLiteral("start: \"%1\" \"--config\" ").arg(OpenVpnClient::openVpnExecutablePath());
    QStringList result;
    const QStringList logged = service.log().split('\n').filter(QStringLiteral("Command from "));
    for (int i = commandsBefore; i < logged.size(); ++i) {
        const QString command = logged.at(i).mid(
            logged.at(i).indexOf(QStringLiteral(": "), logged.at(i).indexOf(QStringLiteral("Command from "))) + 2);
        if (command != QStringLiteral("init: connection")) {
            result << (command.startsWith(start)                         ? QStringLiteral("start")
                    : command == QStringLiteral("start: <kill openvpn>") ? QStringLiteral("kill")
                                                                         : command);
        }
    }
    return result;
}

void TestOpenVpnLifecycle::refused_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("programMissing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no server") << ""
                               << "demo" << false << "Disconnected ''|Error 'OpenVPN server is empty!'";
    QTest::newRow("program missing") << "198.51.100.1"
                                     << "demo" << true
                                     << "Disconnected ''|Error 'OpenVPN executable '%1' does not exists'";
    QTest::newRow("line break in name") << "198.51.100.1"
                                        << "demo\nsignal SIGTERM" << false
                                        << "Disconnected ''|Error 'Error: Username or password contains a line "
                                           "break' critical";
    QTest::newRow("stop when not running") << ""
                                           << "demo" << false << "Disconnected ''";
}

// Starts that fail before OpenVPN runs, and a stop with nothing running: nothing reaches the service.
void TestOpenVpnLifecycle::refused()
{
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(bool, programMissing);
    QFETCH(QString, expected);
    const QString program = OpenVpnClient::openVpnExecutablePath();
    client->setServer(server, true, true);
    client->setCredentials(user, QStringLiteral("x"));
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    if (QTest::currentDataTag() == QLatin1String("stop when not running")) {
        QVERIFY(client->stop());
    } else {
        QVERIFY(!programMissing || QFile::rename(program, program + QStringLiteral(".away")));
        const bool started = client->start();
        QVERIFY(!programMissing || QFile::rename(program + QStringLiteral(".away"), program));
        QVERIFY(!started);
    }
    QCOMPARE(stateTexts(spy).join('|'), programMissing ? expected.arg(program) : expected);
    QTest::qWait(500);
    QCOMPARE(commands(), QStringList());
    QCOMPARE(log->count(QStringLiteral("Send TERM signal")), 0);
}

void TestOpenVpnLifecycle::exits_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("autoReconnect");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<int>("runs");
    // The exit handler's stop finds no management socket and asks for a kill; nothing restarts.
    QTest::newRow("exit 3") << QByteArray("exit 3\nserve\n") << true
                            << "Disconnected ''|Connecting ''|Disconnected 'CrashExit'"
                            << "start kill" << 1;
    QTest::newRow("exit 0") << QByteArray("exit 0\nserve\n") << false << "Disconnected ''|Connecting ''"
                            << "start" << 1;
    // A repeated stop for the ended run (no socket: a kill), then the new start, which comes up.
    QTest::newRow("exit 0, auto-reconnect")
        << QByteArray("exit 0\nserve\n") << true
        << "Disconnected ''|Connecting ''|Disconnected ''|Connecting ''|Connected ''"
        << "start kill start" << 2;
}

void TestOpenVpnLifecycle::exits()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, autoReconnect);
    QFETCH(QString, expected);
    QFETCH(QString, sent);
    QFETCH(int, runs);
    setScript(script);
    client->setServer(QStringLiteral("198.51.100.1"), true, autoReconnect);
    QSignalSpy spy(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), script.mid(5, 1).toInt());
    QTRY_COMPARE_WITH_TIMEOUT(stateTexts(spy).join('|'), expected, 10000);
    QTest::qWait(1500);
    QCOMPARE(stateTexts(spy).join('|'), expected);
    QCOMPARE(commands().join(' '), sent);
    QCOMPARE(lines(QStringLiteral("args.log")).size(), runs);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), runs - 1);
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
    const QString firstConfig = lines(QStringLiteral("args.log")).value(0).section('\t', 1, 1);
    QVERIFY(QFileInfo::exists(firstConfig));

    log->clear();
    spy.clear();
    QVERIFY(client->start());
    // The running OpenVPN gets SIGTERM first, then the new start goes out.
    const QStringList logged = log->lines();
    const int term = logged.indexOf(QRegularExpression(QStringLiteral(".*Send TERM signal, status: true")));
    QVERIFY(term >= 0);
    QVERIFY(
        logged.indexOf(QRegularExpression(QStringLiteral(".*ServiceController: Send data: \\[start: \".*"))) > term);
    QTRY_VERIFY(lines(QStringLiteral("received.log")).contains(QStringLiteral("signal SIGTERM")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.at(0).at(0).toInt(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(stateTexts(spy).join('|'), "Disconnected ''|Connecting ''|Connected ''", 10000);
    QCOMPARE(commands().join(' '), QStringLiteral("start start"));

    // Two starts, one configuration file: the second one's.
    const QString secondConfig = lines(QStringLiteral("args.log")).value(1).section('\t', 1, 1);
    QVERIFY(secondConfig != firstConfig);
    QVERIFY(!QFileInfo::exists(firstConfig));
    QVERIFY(QFileInfo::exists(secondConfig));

    // Stop: SIGTERM on the management socket; the exit that follows restarts nothing.
    QVERIFY(client->stop());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 10000);
    QCOMPARE(finished.at(1).at(0).toInt(), 0);
    QTest::qWait(1000);
    QCOMPARE(lines(QStringLiteral("args.log")).size(), 2);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
}

void TestOpenVpnLifecycle::destructionWhileStarting()
{
    setScript("serve\n");
    client->setServer(QStringLiteral("198.51.100.1"), true, false);
    QVERIFY(client->start());
    client.reset();
    QTRY_COMPARE_WITH_TIMEOUT(lines(QStringLiteral("args.log")).size(), 1, 10000);
    QTest::qWait(1000);
    QCOMPARE(commands(), QStringList { QStringLiteral("start") });
}

QTEST_GUILESS_MAIN(TestOpenVpnLifecycle)
#include "tst_openvpnlifecycle.moc"
