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

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formatByteCount_data();
    void formatByteCount();
    void onlineTime_data();
    void onlineTime();
    void stateTexts_data();
    void stateTexts();
    void connectChecks_data();
    void connectChecks();
    void byteCountsOnlyWhileConnected();
    void currentIpKeepsPreTunnelAddress();
    void loss_data();
    void loss();
    void reconnectsAtMostThreeTimes();
    void startUpConnectionOnce();

private:
    void report(int state, const QString& text = QString(), bool critical = false);

    QTemporaryDir home;
    // Nothing listens on the discard port: every current-IP request fails quickly and is ignored.
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    std::unique_ptr<Probe> core;
    std::unique_ptr<LogCapture> log;
};

void TestVpnCore::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    // The logger's handler first, so that each case's capture comes after it.
    Logger::instance();
}

void TestVpnCore::init()
{
    Settings* settings = Settings::instance();
    settings->setUserName(QStringLiteral("demo"));
    settings->setPassword(QStringLiteral("demo-password"));
    settings->setKillswitchEnabled(true);
    log = std::make_unique<LogCapture>();
    core = std::make_unique<Probe>();
    core->setNetworkApi(&api);
}

void TestVpnCore::cleanup()
{
    core.reset();
    log.reset();
}

void TestVpnCore::report(int state, const QString& text, bool critical)
{
    core->onVpnConnectionStateChanged(state, text, critical);
}

void TestVpnCore::formatByteCount_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << Q_UINT64_C(0) << "0";
    QTest::newRow("one") << Q_UINT64_C(1) << "1B";
    QTest::newRow("below KiB") << Q_UINT64_C(1023) << "1023B";
    QTest::newRow("KiB") << Q_UINT64_C(1024) << "1.0KiB";
    QTest::newRow("KiB and a half") << Q_UINT64_C(1536) << "1.5KiB";
    QTest::newRow("rounds up below MiB") << Q_UINT64_C(1048575) << "1024.0KiB";
    QTest::newRow("MiB") << Q_UINT64_C(1048576) << "1.0MiB";
    QTest::newRow("GiB") << (Q_UINT64_C(5) << 30) << "5.0GiB";
    QTest::newRow("TiB") << (Q_UINT64_C(1) << 40) << "1.0TiB";
    QTest::newRow("largest") << ~Q_UINT64_C(0) << "16777216.0TiB";
}

void TestVpnCore::formatByteCount()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(VpnCore::formatByteCount(bytes), text);
}

void TestVpnCore::onlineTime_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "00:00:00";
    QTest::newRow("59 s") << qint64(59) << "00:00:59";
    QTest::newRow("1:01:01") << qint64(3661) << "01:01:01";
    QTest::newRow("wraps after a day") << qint64(25 * 3600) << "01:00:00";
    QTest::newRow("clock set back") << qint64(-1) << "23:59:59";
}

void TestVpnCore::onlineTime()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    core->updateOnlineTime(seconds);
    QCOMPARE(core->vpnOnlineTime(), text);
}

void TestVpnCore::stateTexts_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("info");
    QTest::addColumn<bool>("connecting");
    QTest::addColumn<bool>("disconnecting");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("error");
    // How often the same report is handled when it comes twice: Error and Unknown leave the stored
    // state at Disconnected, so a second one is new again.
    QTest::addColumn<int>("handled");
    QTest::newRow("connecting") << 0 << 1 << "Connecting..." << true << false << false << "" << 1;
    QTest::newRow("disconnecting") << 3 << 2 << "Disconnecting..." << false << true << true << "" << 1;
    QTest::newRow("connected") << 1 << 3 << "Connected" << false << false << true << "" << 1;
    QTest::newRow("disconnected") << 3 << 0 << "Disconnected" << false << false << false << "" << 1;
    QTest::newRow("error") << 1 << 4 << "Error!" << false << false << false << "AUTH_FAILED" << 2;
    QTest::newRow("unknown") << 3 << 5 << "Unknown" << false << false << false << "" << 2;
    QTest::newRow("no such state") << 1 << 9 << "Connecting..." << false << false << false << "" << 1;
}

void TestVpnCore::stateTexts()
{
    QFETCH(int, before);
    QFETCH(int, state);
    QFETCH(QString, info);
    QFETCH(bool, connecting);
    QFETCH(bool, disconnecting);
    QFETCH(bool, connected);
    QFETCH(QString, error);
    QFETCH(int, handled);

    report(before);
    QSignalSpy progress(core.get(), &VpnCore::vpnConnectionInProgressChanged);
    report(state, error);
    report(state, error);
    QCOMPARE(core->currentIpInfoText(), info);
    QCOMPARE(core->vpnConnectionInProgress(), connecting);
    QCOMPARE(core->vpnDisconnectionInProgress(), disconnecting);
    QCOMPARE(core->vpnConnected(), connected);
    QCOMPARE(core->vpnConnectionErrorText(), error);
    QCOMPARE(progress.count(), handled);
    QCOMPARE(log->count(QStringLiteral("VpnCore: State updated to ")), (before == 0 ? 0 : 1) + handled);
}

void TestVpnCore::connectChecks_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    const QString credentials = QStringLiteral("Username or password is empty!");
    QTest::newRow("no password") << "demo"
                                 << ""
                                 << "" << 1 << credentials;
    QTest::newRow("blank user name") << " \t "
                                     << "secret"
                                     << "198.51.100.1" << 1 << credentials;
    QTest::newRow("no server") << "demo"
                               << "secret"
                               << "" << 0 << "VPN server IP is empty!";
}

void TestVpnCore::connectChecks()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, server);
    QFETCH(int, error);
    QFETCH(QString, text);
    Settings::instance()->setUserName(user);
    Settings::instance()->setPassword(password);
    // An engaged kill switch is lifted first, even when the checks then fail.
    core->setVpnServerIp(server);
    report(1);
    report(3);
    QCOMPARE(log->count(QStringLiteral("KillSwitch: Enable protection")), 1);

    QSignalSpy texts(core.get(), &VpnCore::vpnConnectionErrorTextChanged);
    QSignalSpy errors(core.get(), &VpnCore::vpnConnectionErrorChanged);
    log->clear();
    core->connectToVpn();
    QCOMPARE(log->count(QStringLiteral("KillSwitch: Disable protection")), 1);
    QCOMPARE(texts.count(), 2);
    QCOMPARE(texts.at(0).at(0).toString(), QString());
    QCOMPARE(texts.at(1).at(0).toString(), text);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<VpnCore::VpnError>(), VpnCore::VpnError(error));
    QCOMPARE(core->vpnConnectionErrorText(), text);
    QCOMPARE(log->count(QStringLiteral("warning\tVpnCore: ") + text), 1);
    QCOMPARE(log->count(QStringLiteral("Connect to VPN")), 0);
}

void TestVpnCore::byteCountsOnlyWhileConnected()
{
    QSignalSpy downloaded(core.get(), &VpnCore::downloadedChanged);
    report(1);
    core->onByteCountChanged(5000, 6000);
    QCOMPARE(downloaded.count(), 0);
    QCOMPARE(core->downloaded(), QStringLiteral("0"));

    report(3);
    core->onByteCountChanged(1536, 1);
    QCOMPARE(downloaded.takeLast().at(0).toString(), QStringLiteral("1.5KiB"));
    QCOMPARE(core->uploaded(), QStringLiteral("1B"));

    report(0);
    QCOMPARE(downloaded.takeLast().at(0).toString(), QStringLiteral("0"));
    QCOMPARE(core->uploaded(), QStringLiteral("0"));
    QCOMPARE(core->vpnOnlineTime(), QStringLiteral("00:00:00"));
}

void TestVpnCore::currentIpKeepsPreTunnelAddress()
{
    QCOMPARE(core->currentLocationImageSource(), QString());
    core->onRequestCurrentIpAddressFinished(QStringLiteral("0.0.0.0"), QString());
    QCOMPARE(core->currentIpInfoText(), QStringLiteral("Updating..."));

    core->onRequestCurrentIpAddressFinished(QStringLiteral("2001:db8::1"), QStringLiteral("DE"));
    QCOMPARE(core->currentIpInfoText(), QStringLiteral("Error"));
    core->onRequestCurrentIpAddressFinished(QStringLiteral("192.0.2.2"), QStringLiteral("DE"));
    QCOMPARE(core->currentIpInfoText(), QStringLiteral("Your current IP"));
    QCOMPARE(core->currentLocationImageSource(), QStringLiteral("qrc:/resources/icons/flags/de.png"));

    report(1);
    QCOMPARE(core->currentIp(), QString());
    core->onRequestCurrentIpAddressFinished(QStringLiteral("203.0.113.5"), QStringLiteral("US"));
    QCOMPARE(log->count(QStringLiteral("Request current IP address finished, skipping")), 1);
    QCOMPARE(core->currentIp(), QString());

    report(3);
    core->onRequestCurrentIpAddressFinished(QStringLiteral("198.51.100.1"), QStringLiteral("NL"));
    QCOMPARE(core->currentIp(), QStringLiteral("198.51.100.1"));

    // An Error report restores the address seen before the tunnel at once.
    report(4, QStringLiteral("Failed"));
    QCOMPARE(core->currentIp(), QStringLiteral("192.0.2.2"));
    QCOMPARE(core->currentIpInfoText(), QStringLiteral("Your current IP"));
    QCOMPARE(core->vpnConnectionErrorText(), QStringLiteral("Failed"));
}

void TestVpnCore::loss_data()
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
    QTest::newRow("marker is case-sensitive") << "crashexit" << false << false << true << false << false;
}

void TestVpnCore::loss()
{
    QFETCH(QString, text);
    QFETCH(bool, critical);
    QFETCH(bool, autoReconnect);
    QFETCH(bool, killSwitch);
    QFETCH(bool, event);
    QFETCH(bool, reconnect);
    Settings::instance()->setKillswitchEnabled(killSwitch);
    core->setAutoReconnection(autoReconnect);
    core->setVpnServerIp(QStringLiteral("198.51.100.1"));
    QSignalSpy events(core.get(), &VpnCore::killSwitchEventActivated);
    QSignalSpy texts(core.get(), &VpnCore::vpnConnectionErrorTextChanged);

    report(1);
    report(3);
    report(0, text, critical);

    QCOMPARE(events.count(), event ? 1 : 0);
    QCOMPARE(log->count(QStringLiteral("========== KILL SWITCH EVENT! ==========")), event ? 1 : 0);
    // The lock stays engaged only for the event, until the user closes its notice.
    QCOMPARE(log->count(QStringLiteral("KillSwitch: Disable protection")), killSwitch && !event ? 1 : 0);
    QCOMPARE(log->count(QStringLiteral("Going to reconnection...1")), reconnect ? 1 : 0);
    QCOMPARE(log->count(QStringLiteral("critical\tVpnCore: Critical error, reconnection is now allowed!")),
        critical ? 1 : 0);
    QCOMPARE(texts.count() == 1 && texts.at(0).at(0) == QStringLiteral("Auto reconnection"), reconnect);
    QCOMPARE(core->vpnConnectionErrorText(), QString());
    if (event) {
        core->disableKillSwitch();
        QCOMPARE(log->count(QStringLiteral("KillSwitch: Disable protection")), 1);
    }
    QTest::qWait(VpnCore::reconnectionDelay + 200);
    QCOMPARE(log->count(QStringLiteral("VpnCore: Connect to VPN, server '198.51.100.1'")), reconnect ? 1 : 0);
}

void TestVpnCore::reconnectsAtMostThreeTimes()
{
    core->setAutoReconnection(true);
    core->setVpnServerIp(QStringLiteral("198.51.100.1"));
    for (int crash = 1; crash <= 4; ++crash) {
        report(1);
        report(0, QStringLiteral("CrashExit"));
    }
    QCOMPARE(log->count(QStringLiteral("Going to reconnection...")), 3);
    QCOMPARE(log->count(QStringLiteral("Going to reconnection...3")), 1);
    QCOMPARE(log->count(QStringLiteral("info\tVpnCore: Can't reconnect after 3 attempts...")), 1);
    QTest::qWait(VpnCore::reconnectionDelay + 200);
    QCOMPARE(log->count(QStringLiteral("VpnCore: Connect to VPN")), 3);

    // The counter started again from zero after giving up, and reaching Connected resets it too.
    report(1);
    report(0, QStringLiteral("CrashExit"));
    report(1);
    report(3);
    report(0, QStringLiteral("CrashExit"));
    QCOMPARE(log->count(QStringLiteral("Going to reconnection...1")), 3);
}

void TestVpnCore::startUpConnectionOnce()
{
    core->setConnectToLastLocation(true);
    core->setVpnServerIp(QStringLiteral("198.51.100.1"));
    core->setVpnServerIp(QStringLiteral("198.51.100.2"));
    QCOMPARE(log->count(QStringLiteral("VpnCore: Start auto connection")), 1);
    QCOMPARE(log->count(QStringLiteral("VpnCore: Connect to VPN, server '198.51.100.1', protocol 'UDP'")), 1);
    QCOMPARE(log->count(QStringLiteral("VpnCore: Connect to VPN")), 1);
}

QTEST_GUILESS_MAIN(TestVpnCore)
#include "tst_vpncore.moc"
