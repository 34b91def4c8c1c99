// The connection controller against a real vpn-service and the scripted OpenVPN stand-in of the
// tunnel tests. The test's folder has no kill-switch or DNS tool, so the service refuses to run
// them and the host's firewall and resolver stay untouched; the client still logs the commands.
#include "../openvpn/support.h"
#include "connection/vpncore.h"
#include "servers/networkapi.h"
#include "settings/settings.h"

#include <csignal>
#include <memory>

class TestVpnCoreService : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    ServiceFixture service;
    ServiceController* controller = nullptr;
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    std::unique_ptr<VpnCore> core;

    // A new controller connects with the OpenVPN stand-in playing the given script step.
    void startTunnel(const QByteArray& step, bool killSwitch, bool autoReconnect)
    {
        QFile script(QStringLiteral("script"));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate) && script.write(step) > 0);
        script.close();
        core = std::make_unique<VpnCore>();
        core->setNetworkApi(&api);
        core->setVpnServerIp(QStringLiteral("198.51.100.1"));
        Settings::instance()->setKillswitchEnabled(killSwitch);
        core->setAutoReconnection(autoReconnect);
        core->connectToVpn();
    }
    // The service's reports of OpenVPN runs since init(), "started" or "finished".
    static QStringList reports(const char* kind)
    {
        return testlog::lines().filter(
            QRegularExpression(QStringLiteral("Received data: \\[%1:[1-9]\\d*,.*,openvpn\\]").arg(kind)));
    }
    // The client's commands to the service since init() that contain the text.
    static int sent(const QString& text)
    {
        return testlog::lines().filter(QStringLiteral("ServiceController: Send data: [")).filter(text).size();
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        service.start(QStringLiteral(VPN_TEST_DATA_DIR "/../openvpn/fake_openvpn.py"), this, &controller);
        QDir::setCurrent(ServiceFixture::openVpnFolder()); // where the stand-in keeps its files
        Settings::instance()->setUserName(QStringLiteral("demo"));
        Settings::instance()->setPassword(QStringLiteral("demo-password"));
    }
    void init()
    {
        testlog::clear();
    }
    void cleanup()
    {
        core.reset();
        controller->sendCommand(QStringLiteral("start: <kill openvpn>"));
        QTRY_VERIFY(reports("finished").size() >= reports("started").size());
    }

    void crashReconnectsThreeTimes()
    {
        startTunnel("exit 1\n", false, true);
        QTRY_COMPARE_WITH_TIMEOUT(reports("started").size(), 4, 20000);
        QTest::qWait(VpnCore::reconnectionDelay + 500); // and no fifth run
        QCOMPARE(reports("started").size(), 4);
    }

    // Connect and disconnect under the kill switch, then lose the tunnel.
    void connectDisconnectAndKillSwitchEvent()
    {
        startTunnel("serve 0\n", true, false);
        QSignalSpy events(core.get(), &VpnCore::killSwitchEventActivated);
        QVERIFY(core->vpnConnectionInProgress());
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected(), 15000);
        QTRY_VERIFY(core->vpnOnlineTime() > QStringLiteral("00:00:00")); // the timer runs
        QTRY_COMPARE(sent(QStringLiteral("killswitch.exe\" \"enable\" \"all\" \"198.51.100.1\"")), 1);
        QTRY_COMPARE(sent(QStringLiteral("dns.exe\" \"vpn\"")), 1);
        core->disconnectFromVpn();
        QTRY_COMPARE(sent(QStringLiteral("dns.exe\" \"user\"")), 1);
        QCOMPARE(core->vpnOnlineTime() + core->currentIpInfoText(), QStringLiteral("00:00:00Disconnected"));
        QTRY_COMPARE(sent(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")), 1);
        QTRY_COMPARE(reports("finished").size(), 1);

        core->connectToVpn();
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected(), 15000);
        QCOMPARE(reports("started").size(), 2);
        const qint64 pid
            = reports("started").last().section(QStringLiteral("[started:"), 1).section(',', 0, 0).toLongLong();
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 10000);
        // Traffic stays blocked until the user closes the notice; nothing reconnects.
        QCOMPARE(sent(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")), 1);
        core->disableKillSwitch();
        QTRY_COMPARE(sent(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")), 2);
        QTest::qWait(VpnCore::reconnectionDelay + 300);
        QCOMPARE(reports("started").size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestVpnCoreService)
#include "tst_vpncoreservice.moc"
