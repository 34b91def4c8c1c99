// The connection controller against a real vpn-service and the scripted OpenVPN stand-in of the
// tunnel tests. The test's folder has no kill-switch or DNS tool, so the service refuses to run
// them and the host's firewall and resolver stay untouched; the commands still show in its log.
#include "connection/vpncore.h"
#include "servers/networkapi.h"
#include "service/servicecontroller.h"
#include "servicefixture.h"
#include "settings/settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

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
    int logSizeBefore = 0;

    // A new controller connects with the OpenVPN stand-in playing the given script step.
    void startTunnel(const QByteArray& step, bool killSwitch, bool autoReconnect)
    {
        logSizeBefore = service.log().size();
        core = std::make_unique<VpnCore>();
        core->setNetworkApi(&api);
        core->setVpnServerIp(QStringLiteral("198.51.100.1"));
        QFile script(service.openVpnFolder() + QStringLiteral("/script"));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate) && script.write(step) > 0);
        script.close();
        Settings::instance()->setKillswitchEnabled(killSwitch);
        core->setAutoReconnection(autoReconnect);
        core->connectToVpn();
    }
    // Lines of the service log since the case began; by default the client's commands.
    int logged(const QString& text, const char* kind = "Command from ") const
    {
        return service.log().mid(logSizeBefore).split('\n').filter(QLatin1String(kind)).filter(text).size();
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        QString error;
        QVERIFY2(service.start(QStringLiteral(VPN_TEST_BIN_DIR "/fake_openvpn"), &error), qPrintable(error));
        controller = new ServiceController(this);
        QSignalSpy connected(controller, &ServiceController::connected);
        QVERIFY(connected.wait(10000));
        Settings::instance()->setUserName(QStringLiteral("demo"));
        Settings::instance()->setPassword(QStringLiteral("demo-password"));
    }
    void cleanup()
    {
        core.reset();
        controller->sendCommand(QStringLiteral("start: <kill openvpn>"));
        QTRY_VERIFY(service.log().count(QStringLiteral("Finished openvpn"))
            >= service.log().count(QStringLiteral("Started openvpn")));
    }

    void crashReconnectsThreeTimes()
    {
        startTunnel("exit 1\n", false, true);
        QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("Started openvpn"), ""), 4, 20000);
        QTest::qWait(VpnCore::reconnectionDelay + 500); // and no fifth run
        QCOMPARE(logged(QStringLiteral("Started openvpn"), ""), 4);
    }

    // Connect and disconnect under the kill switch, then lose the tunnel.
    void connectDisconnectAndKillSwitchEvent()
    {
        QSignalSpy output(controller, &ServiceController::processOutput);
        startTunnel("serve 0\n", true, false);
        QSignalSpy events(core.get(), &VpnCore::killSwitchEventActivated);
        QVERIFY(core->vpnConnectionInProgress());
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected(), 15000);
        QTRY_VERIFY(core->vpnOnlineTime() > QStringLiteral("00:00:00")); // the timer runs
        QTRY_COMPARE(logged(QStringLiteral("killswitch.exe\" \"enable\" \"all\" \"198.51.100.1\"")), 1);
        QTRY_COMPARE(logged(QStringLiteral("dns.exe\" \"vpn\"")), 1);
        core->disconnectFromVpn();
        QTRY_COMPARE(logged(QStringLiteral("dns.exe\" \"user\"")), 1);
        QCOMPARE(core->vpnOnlineTime() + core->currentIpInfoText(), QStringLiteral("00:00:00Disconnected"));
        QTRY_COMPARE(logged(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")), 1);
        QTRY_VERIFY(logged(QStringLiteral("Finished openvpn"), "") == 1);

        core->connectToVpn();
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected(), 15000);
        qint64 pid = 0; // the last "started:PID,openvpn"
        for (const QList<QVariant>& line : output) {
            const QString text = line.at(0).toString().trimmed();
            if (text.startsWith(QStringLiteral("started:")) && text.endsWith(QStringLiteral(",openvpn"))) {
                pid = text.mid(8).section(QLatin1Char(','), 0, 0).toLongLong();
            }
        }
        QVERIFY(pid > 0);
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 10000);
        // Traffic stays blocked until the user closes the notice; nothing reconnects.
        QCOMPARE(logged(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")), 1);
        core->disableKillSwitch();
        QTRY_COMPARE(logged(QStringLiteral("killswitch.exe\" \"disable\" \"all\"")), 2);
        QTest::qWait(VpnCore::reconnectionDelay + 300);
        QCOMPARE(logged(QStringLiteral("Started openvpn"), ""), 2);
    }
};

QTEST_GUILESS_MAIN(TestVpnCoreService)
#include "tst_vpncoreservice.moc"
