// The connection controller's own logic, driven through the tunnel client's reports; the tunnel,
// kill switch and DNS tool have no service here, so their commands go nowhere.
#include "../openvpn/testclient.h"
#include "app/logger.h"
#include "connection/vpncore.h"
#include "servers/networkapi.h"
#include "settings/settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class Probe : public VpnCore
{
public:
    using VpnCore::onByteCountChanged;
    using VpnCore::onRequestCurrentIpAddressFinished;
    using VpnCore::onVpnConnectionStateChanged;
    using VpnCore::updateOnlineTime;
};

class TestVpnCore : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    // Nothing listens on the discard port: every current-IP request fails quickly and is ignored.
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    std::unique_ptr<Probe> core;
    std::unique_ptr<LogCapture> log;

    void report(int state, const QString& text = QString(), bool critical = false)
    {
        core->onVpnConnectionStateChanged(state, text, critical);
    }
    int logged(const char* text) const
    {
        return log->count(QString::fromUtf8(text));
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        Logger::instance(); // its handler first, so that each case's capture comes after it
    }
    void init()
    {
        Settings::instance()->setUserName(QStringLiteral("demo"));
        Settings::instance()->setPassword(QStringLiteral("demo-password"));
        Settings::instance()->setKillswitchEnabled(true);
        core.reset(); // its last lines go to the previous case's capture, which goes before the next
        log.reset();
        log = std::make_unique<LogCapture>();
        core = std::make_unique<Probe>();
        core->setNetworkApi(&api);
        core->setVpnServerIp(QStringLiteral("198.51.100.1"));
    }

    // Bytes, or seconds of online time where "seconds" is not -2.
    void formats_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << Q_UINT64_C(0) << qint64(-2) << "0";
        QTest::newRow("byte") << Q_UINT64_C(1) << qint64(-2) << "1B";
        QTest::newRow("KiB and a half") << Q_UINT64_C(1536) << qint64(-2) << "1.5KiB";
        QTest::newRow("rounds up below MiB") << Q_UINT64_C(1048575) << qint64(-2) << "1024.0KiB";
        QTest::newRow("largest") << ~Q_UINT64_C(0) << qint64(-2) << "16777216.0TiB";
        QTest::newRow("wraps after a day") << Q_UINT64_C(0) << qint64(25 * 3600) << "01:00:00";
        QTest::newRow("clock set back") << Q_UINT64_C(0) << qint64(-1) << "23:59:59";
    }
    void formats()
    {
        QFETCH(quint64, bytes);
        QFETCH(qint64, seconds);
        core->updateOnlineTime(seconds);
        QTEST(seconds == -2 ? VpnCore::formatByteCount(bytes) : core->vpnOnlineTime(), "text");
    }

    // An engaged kill switch is lifted first, even when the checks then fail.
    void connectChecks()
    {
        report(1);
        report(3);
        Settings::instance()->setUserName(QStringLiteral(" \t "));
        core->connectToVpn();
        QCOMPARE(logged("KillSwitch: Disable protection"), 1);
        QCOMPARE(core->vpnConnectionErrorText(), QStringLiteral("Username or password is empty!"));
        Settings::instance()->setUserName(QStringLiteral("demo"));
        core->setVpnServerIp(QString());
        QSignalSpy errors(core.get(), &VpnCore::vpnConnectionErrorChanged);
        core->connectToVpn();
        QCOMPARE(errors.at(0).at(0).value<VpnCore::VpnError>(), VpnCore::ServerIpEmpty);
        QCOMPARE(core->vpnConnectionErrorText(), QStringLiteral("VPN server IP is empty!"));
        QCOMPARE(logged("Connect to VPN"), 0);
    }

    void countersAndCurrentIp()
    {
        core->onRequestCurrentIpAddressFinished(QStringLiteral("192.0.2.2"), QStringLiteral("DE"));
        report(1);
        // Counters and addresses are ignored while connecting.
        core->onByteCountChanged(5000, 6000);
        core->onRequestCurrentIpAddressFinished(QStringLiteral("203.0.113.5"), QStringLiteral("US"));
        QCOMPARE(core->downloaded() + core->currentIp(), QStringLiteral("0"));
        report(3);
        core->onByteCountChanged(1536, 1);
        core->onRequestCurrentIpAddressFinished(QStringLiteral("198.51.100.1"), QStringLiteral("NL"));
        QCOMPARE(core->downloaded() + core->uploaded() + core->currentIp(), QStringLiteral("1.5KiB1B198.51.100.1"));
        // An Error report resets the counters and restores the address seen before the tunnel at once.
        report(4, QStringLiteral("Failed"));
        QCOMPARE(core->downloaded() + core->uploaded() + core->vpnOnlineTime(), QStringLiteral("0000:00:00"));
        QCOMPARE(core->currentIp(), QStringLiteral("192.0.2.2"));
        QCOMPARE(core->currentLocationImageSource(), QStringLiteral("qrc:/resources/icons/flags/de.png"));
    }

    void loss_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("critical");
        QTest::addColumn<bool>("autoReconnect");
        QTest::addColumn<bool>("killSwitch");
        QTest::addColumn<bool>("event");
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("ordinary disconnect") << "" << false << true << true << false << false;
        QTest::newRow("crash, reconnect") << "CrashExit" << false << true << true << false << true;
        QTest::newRow("crash, no auto reconnection") << "CrashExit" << false << false << true << true << false;
        QTest::newRow("crash, no kill switch") << "CrashExit" << false << false << false << false << false;
        QTest::newRow("critical crash") << "CrashExit" << true << true << true << false << false;
    }
    void loss()
    {
        QFETCH(QString, text);
        QFETCH(bool, critical);
        QFETCH(bool, autoReconnect);
        QFETCH(bool, killSwitch);
        QFETCH(bool, event);
        QFETCH(bool, reconnect);
        Settings::instance()->setKillswitchEnabled(killSwitch);
        core->setAutoReconnection(autoReconnect);
        QSignalSpy events(core.get(), &VpnCore::killSwitchEventActivated);
        report(1);
        report(3);
        report(0, text, critical);
        QCOMPARE(events.count(), event ? 1 : 0);
        // The lock stays engaged only for the event, until the user closes its notice.
        QCOMPARE(logged("KillSwitch: Disable protection"), killSwitch && !event ? 1 : 0);
        core->disableKillSwitch();
        QCOMPARE(logged("KillSwitch: Disable protection"), killSwitch ? 1 : 0);
        QTest::qWait(VpnCore::reconnectionDelay + 200);
        QCOMPARE(logged("VpnCore: Connect to VPN, server '198.51.100.1'"), reconnect ? 1 : 0);
    }

    // The limit itself runs through the real service (tst_vpncoreservice); here only what resets it.
    void reconnectionCounterResets()
    {
        core->setAutoReconnection(true);
        for (int crash = 1; crash <= 5; ++crash) {
            report(1);
            report(0, QStringLiteral("CrashExit"));
        }
        QCOMPARE(logged("Can't reconnect after 3 attempts..."), 1);
        // The counter started from zero after giving up; reaching Connected resets it too.
        report(1);
        report(3);
        report(0, QStringLiteral("CrashExit"));
        QCOMPARE(logged("Going to reconnection...1"), 3);
        QCOMPARE(logged("Going to reconnection..."), 5);
    }

    void startUpConnectionOnce()
    {
        core->setConnectToLastLocation(true);
        core->setVpnServerIp(QStringLiteral("198.51.100.2"));
        core->setVpnServerIp(QStringLiteral("198.51.100.3"));
        QCOMPARE(logged("VpnCore: Connect to VPN, server '198.51.100.2', protocol 'UDP'"), 1);
        QCOMPARE(logged("VpnCore: Connect to VPN"), 1);
    }
};

QTEST_GUILESS_MAIN(TestVpnCore)
#include "tst_vpncore.moc"
