// The connection controller's own logic, driven through the tunnel client's reports; the tunnel,
// kill switch and DNS tool have no service here, so their commands go nowhere.
#include "../support/logcapture.h"
#include "../support/testkit.h"
#include "../support/vpncoreprobe.h"
#include "connection/vpncore.h"
#include "foundation/logger.h"
#include "servers/networkapi.h"
#include "servers/serverlistmodel.h"
#include "service/servicecontroller.h"
#include "settings/settings.h"
#include "ui/connectionstatus.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestVpnCore : public QObject
{
    Q_OBJECT

    TemporaryProfile profile; // first: the settings below are read once
    // Nothing listens on the discard port: every current-IP request fails quickly and is ignored.
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    std::unique_ptr<VpnCoreProbe> core;

    void report(int state, const QString& text = QString(), bool critical = false)
    {
        core->onVpnConnectionStateChanged(static_cast<VpnClient::State>(state), text, critical);
    }

private slots:
    void initTestCase()
    {
        Logger::instance(); // its handler first, so that the capture comes after it
        testlog::capture();
    }
    void init()
    {
        Settings::instance()->setUserName(QStringLiteral("demo"));
        Settings::instance()->setPassword(QStringLiteral("demo-password"));
        core.reset();
        testlog::clear();
        core = std::make_unique<VpnCoreProbe>();
        core->setNetworkApi(&api);
        core->setVpnServerIp(QStringLiteral("198.51.100.1"));
    }

    // Bytes, or seconds of online time where "seconds" is not -2.
    void formats_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("rounds up below MiB") << Q_UINT64_C(1048575) << qint64(-2) << "1024.0KiB";
        QTest::newRow("largest") << ~Q_UINT64_C(0) << qint64(-2) << "16777216.0TiB";
        QTest::newRow("wraps after a day") << Q_UINT64_C(0) << qint64(25 * 3600) << "01:00:00";
        QTest::newRow("clock set back") << Q_UINT64_C(0) << qint64(-1) << "23:59:59";
    }
    void formats()
    {
        QFETCH(quint64, bytes);
        QFETCH(qint64, seconds);
        core->view()->updateOnlineTime(seconds);
        QTEST(seconds == -2 ? ConnectionView::formatByteCount(bytes) : core->view()->vpnOnlineTime(), "text");
    }

    void countersAndCurrentIp()
    {
        core->onRequestCurrentIpAddressFinished(QStringLiteral("192.0.2.2"), QStringLiteral("DE"));
        report(1);
        // Counters and addresses are ignored while connecting.
        core->onByteCountChanged(5000, 6000);
        core->onRequestCurrentIpAddressFinished(QStringLiteral("203.0.113.5"), QStringLiteral("US"));
        QCOMPARE(core->view()->downloaded() + core->view()->currentIp(), QStringLiteral("0"));
        report(3);
        core->onByteCountChanged(1536, 1);
        core->onRequestCurrentIpAddressFinished(QStringLiteral("198.51.100.1"), QStringLiteral("NL"));
        QCOMPARE(core->view()->downloaded() + core->view()->uploaded() + core->view()->currentIp(),
            QStringLiteral("1.5KiB1B198.51.100.1"));
        // An Error report resets the counters and restores the address seen before the tunnel at once.
        report(4, QStringLiteral("Failed"));
        QCOMPARE(core->view()->downloaded() + core->view()->uploaded() + core->view()->vpnOnlineTime(),
            QStringLiteral("0000:00:00"));
        QCOMPARE(core->view()->currentIp() + core->view()->currentLocationImageSource(),
            QStringLiteral("192.0.2.2qrc:/resources/icons/flags/de.png"));
    }

    // Without the setting a loss is not retried; the setting is followed as it changes, with the controller
    // running. Then three attempts after a loss, then the notice with the lock kept; giving up and reaching
    // Connected start the count again.
    void reconnectionLimit()
    {
        Settings::instance()->setKillswitchEnabled(true);
        Settings::instance()->setAutoReconnectToVpn(false);
        QSignalSpy events(core.get(), &VpnCore::killSwitchEventActivated);
        QSignalSpy attempts(core.get(), &VpnCore::reconnecting);
        QSignalSpy gaveUp(core.get(), &VpnCore::reconnectionGaveUp);
        report(1);
        report(3);
        report(0, QStringLiteral("CrashExit"));
        QVERIFY(attempts.isEmpty() && events.count() == 1); // the notice, no attempt
        Settings::instance()->setAutoReconnectToVpn(true);
        report(1);
        report(3);
        int gaveUpAt = 0;
        for (int crash = 1; crash <= 6; ++crash) {
            report(1);
            report(crash == 6 ? 3 : 1);
            report(0, QStringLiteral("CrashExit"));
            if (gaveUpAt == 0 && !gaveUp.isEmpty()) {
                gaveUpAt = crash;
            }
        }
        QList<int> numbers;
        for (const QList<QVariant>& attempt : attempts) {
            numbers << attempt.at(0).toInt();
        }
        QCOMPARE(numbers, (QList<int> { 1, 2, 3, 1, 1 }));
        QCOMPARE(gaveUp.count(), 1);
        QCOMPARE(gaveUpAt, 4);
        QCOMPARE(events.count(), 2);
        QCOMPARE(testlog::count(QStringLiteral("KillSwitch: Disable protection")), 0);
    }

    // A program the tunnel needs that is missing or cannot be run stops the attempt before anything
    // starts, with a sentence that names it and says what to do; the lock is not shown engaged.
    void brokenInstallation_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<bool>("present"); // there, but not executable
        QTest::newRow("OpenVPN missing") << "openvpn" << false;
        QTest::newRow("lock tool missing") << "killswitch" << false;
        QTest::newRow("resolver tool missing") << "dns" << false;
        QTest::newRow("lock tool not executable") << "killswitch" << true;
    }
    void brokenInstallation()
    {
        QFETCH(QString, piece);
        QFETCH(bool, present);
        QTemporaryDir folder;
        const ProgramPaths::Paths paths { folder.filePath("openvpn"), folder.filePath("killswitch"),
            folder.filePath("dns"), folder.path() };
        for (const char* name : { "openvpn", "killswitch", "dns" }) {
            const bool broken = piece == QLatin1String(name);
            QFile file(folder.filePath(name));
            if (!broken || present) {
                QVERIFY(file.open(QIODevice::WriteOnly));
                QVERIFY(file.setPermissions(file.permissions() | (broken ? QFile::Permissions() : QFile::ExeOwner)));
            }
        }
        Settings::instance()->setKillswitchEnabled(true);
        ServerListModel model;
        ConnectionStatus status(core.get(), &model);
        core->setInstallation(Installation(paths));
        core->connectToVpn();
        QCOMPARE(core->failure(), VpnCore::InstallationBroken);
        QVERIFY(!core->vpnConnectionInProgress() && !core->networkLockEngaged());
        QCOMPARE(status.state(), ConnectionStatus::Disconnected);
        QCOMPARE(core->brokenInstallation().size(), 1);
        QVERIFY2(status.problemText().contains(folder.filePath(piece)) && status.problemText().contains("Reinstall"),
            qPrintable(status.problemText()));
        // Put right, the next attempt goes ahead.
        QFile::remove(folder.filePath(piece));
        QVERIFY(QFile::copy(folder.filePath(piece == "dns" ? "openvpn" : "dns"), folder.filePath(piece)));
        core->connectToVpn();
        QVERIFY(core->failure() != VpnCore::InstallationBroken && core->brokenInstallation().isEmpty());
    }

    // The service refused the lock's tool (its answer played here, on a link to no service): the lock
    // is not shown engaged, and the tunnel does not stay up without it.
    void lockThatFailsIsTakenBack()
    {
        ServiceController link;
        core = std::make_unique<VpnCoreProbe>(); // its tools' runs listen to this link
        core->setNetworkApi(&api);
        Settings::instance()->setKillswitchEnabled(true);
        report(1);
        report(3);
        QVERIFY(core->networkLockEngaged() && core->vpnConnected());
        emit link.processOutput(QStringLiteral("started:0,2,killswitch"));
        QVERIFY(!core->networkLockEngaged() && !core->vpnConnected());
        QCOMPARE(core->failure(), VpnCore::ConnectionFailed);
    }

    // Only a plain canonical address reaches OpenVPN's configuration and the lock.
    void serverAddressChecked()
    {
        QSignalSpy errors(core.get(), &VpnCore::vpnConnectionErrorTextChanged);
        for (const char* ip : { " 198.51.100.1", "198.51.100.1\n", "198.51.1", "fe80::1%eth0" }) {
            core->setVpnServerIp(QString::fromLatin1(ip));
            core->connectToVpn();
            // Last: the run that would follow reports on its own.
            QCOMPARE(errors.takeLast().at(0).toString(), QStringLiteral("VPN server IP is not a valid address!"));
        }
    }
};

QTEST_GUILESS_MAIN(TestVpnCore)
#include "tst_vpncore.moc"
