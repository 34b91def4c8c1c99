// The connection controller against a real vpn-service and the scripted OpenVPN stand-in of the
// tunnel tests. The test's folder has no kill-switch or DNS tool, so the service refuses to run
// them and the host's firewall and resolver stay untouched; the commands still show in its log.
#include "../openvpn/servicefixture.h"
#include "../openvpn/testclient.h"
#include "app/logger.h"
#include "connection/vpncore.h"
#include "servers/networkapi.h"
#include "service/servicecontroller.h"
#include "settings/settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

class TestVpnCoreService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectAndDisconnect();
    void crashReconnectsThreeTimes();
    void killSwitchEventAfterCrash();

private:
    void setScript(const QByteArray& steps);
    int runs() const;
    // Commands from the client in the service log since the case began.
    QStringList commands() const;

    QTemporaryDir home;
    ServiceFixture service;
    ServiceController* controller = nullptr;
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    std::unique_ptr<VpnCore> core;
    std::unique_ptr<LogCapture> log;
    int logSizeBefore = 0;
};

void TestVpnCoreService::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    Logger::instance();
    QString error;
    QVERIFY2(service.start(QStringLiteral(VPN_TEST_BIN_DIR "/fake_openvpn"), &error), qPrintable(error));
    controller = new ServiceController(this);
    QSignalSpy connected(controller, &ServiceController::connected);
    QVERIFY(connected.wait(10000));
    Settings::instance()->setUserName(QStringLiteral("demo"));
    Settings::instance()->setPassword(QStringLiteral("demo-password"));
}

void TestVpnCoreService::init()
{
    QFile::remove(service.openVpnFolder() + QStringLiteral("/args.log"));
    logSizeBefore = service.log().size();
    log = std::make_unique<LogCapture>();
    core = std::make_unique<VpnCore>();
    core->setNetworkApi(&api);
    core->setVpnServerIp(QStringLiteral("198.51.100.1"));
}

void TestVpnCoreService::cleanup()
{
    core.reset();
    controller->sendCommand(QStringLiteral("start: <kill openvpn>"));
    QTRY_VERIFY(service.log().count(QStringLiteral("Finished openvpn"))
        >= service.log().count(QStringLiteral("Started openvpn")));
    log.reset();
}

void TestVpnCoreService::setScript(const QByteArray& steps)
{
    QFile file(service.openVpnFolder() + QStringLiteral("/script"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(steps);
}

int TestVpnCoreService::runs() const
{
    QFile file(service.openVpnFolder() + QStringLiteral("/args.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

QStringList TestVpnCoreService::commands() const
{
    QStringList result;
    for (const QString& line : service.log().mid(logSizeBefore).split(QLatin1Char('\n'))) {
        const int at = line.indexOf(QStringLiteral("Command from "));
        if (at >= 0) {
            result << line.mid(line.indexOf(QStringLiteral(": "), at) + 2);
        }
    }
    return result;
}

void TestVpnCoreService::connectAndDisconnect()
{
    setScript("serve 0\n");
    Settings::instance()->setKillswitchEnabled(false);
    QSignalSpy connected(core.get(), &VpnCore::vpnConnectedChanged);
    QSignalSpy ticks(core.get(), &VpnCore::vpnOnlineTimeChanged);
    core->connectToVpn();
    QVERIFY(core->vpnConnectionInProgress());
    QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected(), 15000);
    QCOMPARE(core->currentIpInfoText(), QStringLiteral("Connected"));
    QTRY_VERIFY(ticks.count() >= 3); // the start, then every 500 ms
    QTRY_VERIFY(commands().filter(QStringLiteral("dns.exe\" \"vpn\"")).size() == 1);

    core->disconnectFromVpn();
    QTRY_VERIFY(!core->vpnConnected());
    QCOMPARE(connected.count(), 2);
    QCOMPARE(core->vpnOnlineTime(), QStringLiteral("00:00:00"));
    QTRY_VERIFY(commands().filter(QStringLiteral("dns.exe\" \"user\"")).size() == 1);
    QTRY_VERIFY(service.log().count(QStringLiteral("Finished openvpn"))
        >= service.log().count(QStringLiteral("Started openvpn")));
    // A disconnect the user asked for is not a loss to recover from.
    QTest::qWait(VpnCore::reconnectionDelay + 300);
    QCOMPARE(runs(), 1);
    QCOMPARE(log->count(QStringLiteral("Going to reconnection")), 0);
}

void TestVpnCoreService::crashReconnectsThreeTimes()
{
    setScript("exit 1\n");
    core->setAutoReconnection(true);
    core->connectToVpn();
    QTRY_VERIFY_WITH_TIMEOUT(log->count(QStringLiteral("Can't reconnect after 3 attempts...")) == 1, 20000);
    QCOMPARE(log->count(QStringLiteral("Going to reconnection...")), 3);
    QTest::qWait(VpnCore::reconnectionDelay + 500);
    QCOMPARE(runs(), 4);
    QVERIFY(!core->vpnConnectionInProgress());
}

void TestVpnCoreService::killSwitchEventAfterCrash()
{
    setScript("serve 0\n");
    Settings::instance()->setKillswitchEnabled(true);
    core->setAutoReconnection(false);
    QSignalSpy output(controller, &ServiceController::processOutput);
    QSignalSpy events(core.get(), &VpnCore::killSwitchEventActivated);
    core->connectToVpn();
    QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected(), 15000);
    QTRY_VERIFY(commands().filter(QStringLiteral("killswitch.exe\" \"enable\" \"all\" \"198.51.100.1\"")).size() == 1);

    qint64 pid = 0;
    for (const QList<QVariant>& line : output) {
        const QString text = line.at(0).toString();
        if (text.startsWith(QStringLiteral("started:")) && text.trimmed().endsWith(QStringLiteral(",openvpn"))) {
            pid = text.mid(8).section(QLatin1Char(','), 0, 0).toLongLong();
        }
    }
    QVERIFY(pid > 0);
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);

    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 10000);
    QVERIFY(!core->vpnConnected());
    // Traffic stays blocked until the user closes the notice.
    QCOMPARE(commands().filter(QStringLiteral("\"disable\"")).size(), 0);
    core->disableKillSwitch();
    QTRY_VERIFY(commands().filter(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")).size() == 1);
    QTest::qWait(VpnCore::reconnectionDelay + 300);
    QCOMPARE(runs(), 1);
}

QTEST_GUILESS_MAIN(TestVpnCoreService)
#include "tst_vpncoreservice.moc"
