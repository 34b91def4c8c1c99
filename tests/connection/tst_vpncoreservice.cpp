// The connection controller against a real vpn-service and the scripted OpenVPN stand-in of the
// tunnel tests. The kill-switch and DNS tools of the test's folder are stand-ins that do nothing, so
// the host's firewall and resolver stay untouched; the client logs the commands.
#include "../support/servicefixture.h"
#include "../support/testkit.h"
#include "connection/vpncore.h"
#include "servers/networkapi.h"
#include "settings/settings.h"

#include <QScopeGuard>

#include <csignal>
#include <memory>
#include <sys/mount.h>

class TestVpnCoreService : public QObject
{
    Q_OBJECT

    TemporaryProfile profile; // first: the settings are read once
    ServiceFixture service;
    ServiceController* controller = nullptr;
    NetworkApi api { "127.0.0.1:9", QByteArray() };
    std::unique_ptr<VpnCore> core;
    std::unique_ptr<QSignalSpy> notices;

    const QString guid = "{00000000-0000-0000-0000-000000000000}"; // the system's resolver

    // A new controller connects with the OpenVPN stand-in playing the given script steps.
    void startTunnel(const QByteArray& steps, bool killSwitch, bool autoReconnect)
    {
        QFile script("script");
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate) && script.write(steps) > 0);
        script.close();
        core = std::make_unique<VpnCore>();
        notices = std::make_unique<QSignalSpy>(core.get(), &VpnCore::killSwitchEventActivated);
        core->setNetworkApi(&api);
        core->setVpnServerIp("198.51.100.1");
        Settings::instance()->setKillswitchEnabled(killSwitch);
        Settings::instance()->setAutoReconnectToVpn(autoReconnect);
        core->connectToVpn();
    }
    // Since init(): the service's reports of OpenVPN runs ("started", "finished"), the client's commands.
    static QStringList reports(const char* kind)
    {
        return testlog::lines().filter(
            QRegularExpression(QStringLiteral("Received data: \\[%1:[1-9]\\d*,.*,openvpn\\]").arg(kind)));
    }
    static int sent(const QString& text)
    {
        return commands().filter(text).size();
    }
    static QStringList commands()
    {
        return testlog::lines().filter("ServiceController: Send data: [");
    }
    static QString lockFor(const char* server)
    {
        return QStringLiteral("/killswitch\" \"enable\" \"all\" \"%1\"").arg(QLatin1String(server));
    }
    static QString lift()
    {
        return "/killswitch\" \"disable\" \"all\"";
    }
    // Ends the last OpenVPN run from outside, as a crash would.
    static void killOpenVpn()
    {
        const qint64 pid = reports("started").last().section("[started:", 1).section(',', 0, 0).toLongLong();
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    }
    void waitConnected(int runs)
    {
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected() && reports("started").size() == runs, 15000);
    }
private slots:
    void initTestCase()
    {
        service.start(QStringLiteral(VPN_TEST_DATA_DIR "/../openvpn/fake_openvpn.py"), this, &controller);
        QDir::setCurrent(ServiceFixture::openVpnFolder()); // where the stand-in keeps its files
        Settings::instance()->setUserName("demo");
        Settings::instance()->setPassword("demo-password");
    }
    void init()
    {
        testlog::clear();
    }
    void cleanup()
    {
        core.reset();
        controller->sendCommand("start: <kill openvpn>");
        QTRY_VERIFY(reports("finished").size() >= reports("started").size());
    }

    // Whether a tunnel can be made is the service's answer, as it sees TUN (here an empty /dev/net
    // of this test's mount namespace, which the service shares); the client opens no device.
    void tunFromTheService_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("TUN") << false;
        QTest::newRow("no TUN") << true;
    }
    void tunFromTheService()
    {
        QFETCH(bool, hidden);
        if (hidden ? !servicekit::mountsIsolated : !QFile::exists("/dev/net/tun")) {
            QSKIP(hidden ? "needs root for a mount namespace" : "this machine has no TUN device");
        }
        QVERIFY(!hidden || ::mount("none", "/dev/net", "tmpfs", 0, nullptr) == 0);
        const auto unhide = qScopeGuard([hidden] {
            if (hidden) {
                ::umount2("/dev/net", MNT_DETACH);
            }
        });
        core = std::make_unique<VpnCore>();
        QSignalSpy changed(core.get(), &VpnCore::tunAvailableChanged);
        QTRY_COMPARE(testlog::lines().filter("Received data: [tun:").size(), 1);
        QCOMPARE(core->tunAvailable(), !hidden);
        QCOMPARE(changed.count(), int(!core->tunAvailable()));
        QVERIFY2(core->tunUnavailableText().contains("/dev/net/tun: No such file or directory") == hidden,
            qPrintable(core->tunUnavailableText()));
    }

    // Under the lock with automatic reconnection, OpenVPN ends unexpectedly while another server has
    // been chosen: the lock holds through the reconnection and is moved to the new server in one step.
    // (Giving up, and a service restart, are leak-test rows, with the packets counted.)
    void lockHoldsThroughReconnection()
    {
        startTunnel("serve\nserve\n", true, true);
        waitConnected(1);
        QTRY_COMPARE(sent(lockFor("198.51.100.1")), 1);
        QTRY_VERIFY(core->view()->vpnOnlineTime() > "00:00:00"); // the timer runs
        core->setVpnServerIp("198.51.100.2");
        killOpenVpn();
        waitConnected(2);
        QTest::qWait(VpnCore::reconnectionDelay + 500);
        QCOMPARE(reports("started").size(), 2);
        QCOMPARE(notices->count(), 0);
        QCOMPARE(sent(lift()), 0);
        // The new server's lock replaced the old one before the new OpenVPN was asked for.
        const QStringList all = commands();
        const int moved
            = all.indexOf(QRegularExpression(".*" + QRegularExpression::escape(lockFor("198.51.100.2")) + ".*"));
        QVERIFY2(
            moved > 0 && moved < all.lastIndexOf(QRegularExpression(".*/openvpn\".*")), qPrintable(all.join('\n')));
    }

    // While connected, while a reconnection waits (OpenVPN just lost) or disconnected: what the user
    // does always wins over a pending reconnection (a click while connecting is a leak-test row); when
    // the host woke up or its way out changed, a tunnel is started again at once and the lock held
    // throughout, a pending reconnection starts now, and without a tunnel only the address is asked
    // again; the user's disconnect during the restart ends it.
    void userAndHostEvents_data()
    {
        // clang-format off
        QTest::addColumn<QString>("before"); // "connected", "reconnection pending", "disconnected"
        QTest::addColumn<QString>("event"); // "resume", "network", "connect", "disconnect", "network, disconnect"
        QTest::addColumn<bool>("restarts");
        QTest::newRow("disconnect while a reconnection waits") << "reconnection pending" << "disconnect" << false;
        QTest::newRow("connect while a reconnection waits") << "reconnection pending" << "connect" << true;
        QTest::newRow("resume while connected") << "connected" << "resume" << true;
        QTest::newRow("network change while connected") << "connected" << "network" << true;
        QTest::newRow("resume while a reconnection waits") << "reconnection pending" << "resume" << true;
        QTest::newRow("network change while disconnected") << "disconnected" << "network" << false;
        QTest::newRow("disconnect during the restart") << "connected" << "network, disconnect" << false;
        // clang-format on
    }
    void userAndHostEvents()
    {
        QFETCH(QString, before);
        QFETCH(QString, event);
        QFETCH(bool, restarts);
        startTunnel("serve\nserve\nserve\n", true, true);
        waitConnected(1);
        if (before == "disconnected") {
            core->disconnectFromVpn();
            QTRY_COMPARE(reports("finished").size(), 1);
        } else if (before == "reconnection pending") {
            killOpenVpn();
            QTRY_COMPARE(testlog::count("Going to reconnection...1"), 1);
            QVERIFY(core->vpnConnectionInProgress()); // one click leaves
        }
        testlog::clear();
        QSignalSpy connectedChanges(core.get(), &VpnCore::vpnConnectedChanged);
        if (event.startsWith("resume")) {
            core->onHostResumed();
        } else if (event.startsWith("network")) {
            core->onNetworkChanged();
        } else if (event == "connect") {
            core->connectToVpn();
        }
        if (event.endsWith("disconnect")) {
            core->disconnectFromVpn();
            QVERIFY(!core->vpnConnectionInProgress() || event != "disconnect");
            QTRY_COMPARE(sent(lift()), 1);
        }
        if (!restarts) {
            QTest::qWait(VpnCore::reconnectionDelay + 500);
            QCOMPARE(core->view()->currentIpInfoText(), "Disconnected");
            QCOMPARE(reports("started").size(), event == "network, disconnect" ? 1 : 0);
            QCOMPARE(testlog::count("asking for the current IP"), int(before == "disconnected"));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected() && !reports("started").isEmpty(), 15000);
        if (event == "resume" && before != "connected") {
            // Started at once, not after the reconnection delay.
            QCOMPARE(testlog::count("The host woke up, reconnecting now"), 1);
        } else if (before == "connected") {
            // Down first: never Connected on the old tunnel once it is being replaced.
            QCOMPARE(connectedChanges.first().first().toBool(), false);
        }
        QTest::qWait(VpnCore::reconnectionDelay + 300);
        QCOMPARE(core->view()->currentIpInfoText(), "Connected");
        QCOMPARE(notices->count(), 0);
        QCOMPARE(sent(lift()), 0);
        QCOMPARE(reports("started").size(), 1);
    }

    // Lockdown follows the setting through the real service, which has the last word and says
    // whether traffic is blocked; the servers of each list go with it.
    void lockdownFollowsTheSetting()
    {
        core = std::make_unique<VpnCore>();
        core->setNetworkApi(&api);
        Settings::instance()->setLockdownEnabled(true);
        QTRY_VERIFY(core->trafficBlockedByLockdown());
        emit api.requestServerListFinished({ Server(0, "NL", "Amsterdam", "nl", "198.51.100.1", 10) });
        QTRY_COMPARE(sent("[lockdown: on local 198.51.100.1]"), 1);
        Settings::instance()->setLockdownEnabled(false);
        QTRY_VERIFY(!core->trafficBlockedByLockdown());
        QCOMPARE(sent("[lockdown: off]"), 1);
    }

    // Each session's pushed servers alone: a push of one family never keeps the other from before.
    void pushedDnsPerSession()
    {
        startTunnel("serve 0 10.8.0.1,fd00:8::1\nserve 0 10.8.0.1\n", false, true);
        waitConnected(1);
        QTRY_COMPARE_WITH_TIMEOUT(sent(QStringLiteral("\"vpn\" \"%1@10.8.0.1,fd00:8::1\"").arg(guid)), 1, 10000);
        QCOMPARE(sent("/dns\""), 1);
        // The lock is off, the tunnel guarded all the same.
        QCOMPARE(sent("/killswitch\" \"enable\" \"tunnel\" \"198.51.100.1\""), 1);
        core->disconnectFromVpn();
        QTRY_COMPARE(sent(QStringLiteral("\"user\" \"%1@\"").arg(guid)), 1);
        QTRY_COMPARE(reports("finished").size(), 1);
        core->connectToVpn();
        waitConnected(2);
        QTRY_COMPARE(sent(QStringLiteral("\"vpn\" \"%1@10.8.0.1,\"").arg(guid)), 1);
    }
};

int main(int argc, char** argv)
{
    return servicekit::isolatedTestMain<TestVpnCoreService>(argc, argv);
}
#include "tst_vpncoreservice.moc"
