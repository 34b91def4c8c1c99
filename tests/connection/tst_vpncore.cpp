// The connection controller against an in-process fake of the service, which also plays OpenVPN's
// management interface: what the controller asks of the service (tunnel, lock, resolvers, lockdown)
// and what it shows. Its reports can also be played straight into it (VpnCoreProbe).
#include "../support/fakeservice.h"
#include "../support/logcapture.h"
#include "../support/testkit.h"
#include "../support/vpncoreprobe.h"
#include "foundation/logger.h"
#include "servers/networkapi.h"
#include "settings/settings.h"

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
    std::unique_ptr<FakeService> service;
    std::unique_ptr<VpnCoreProbe> core;
    std::unique_ptr<QSignalSpy> notices;
    const QString guid = QStringLiteral("{00000000-0000-0000-0000-000000000000}"); // the system's resolver

    void report(int state, const QString& text = QString(), bool critical = false)
    {
        core->onVpnConnectionStateChanged(static_cast<VpnClient::State>(state), text, critical);
    }
    // A new controller on a new service, whose OpenVPN runs say `runs` in turn.
    void make(bool killSwitch, bool autoReconnect, const QList<QByteArray>& runs = { FakeService::tunnel() })
    {
        core.reset();
        service = std::make_unique<FakeService>();
        service->runs = runs;
        service->openVpn();
        Settings::instance()->setKillswitchEnabled(killSwitch);
        Settings::instance()->setAutoReconnectToVpn(autoReconnect);
        core = std::make_unique<VpnCoreProbe>(service.get());
        notices = std::make_unique<QSignalSpy>(core.get(), &VpnCore::killSwitchEventActivated);
        core->setNetworkApi(&api);
        core->setVpnServerIp(QStringLiteral("198.51.100.1"));
    }
    // The tool's runs of this kind ("killswitch enable all", "dns vpn", ...) since the last clear.
    QStringList runs(const QString& kind) const
    {
        return service->transcript().filter(QRegularExpression('^' + kind + "\\b"));
    }
    void waitConnected(int runsOfOpenVpn)
    {
        QTRY_VERIFY_WITH_TIMEOUT(core->vpnConnected() && service->count("openvpn") == runsOfOpenVpn, 10000);
    }

private slots:
    void initTestCase()
    {
        Logger::instance(); // its handler first, so that the capture comes after it
        testlog::capture();
        Settings::instance()->setUserName(QStringLiteral("demo"));
        Settings::instance()->setPassword(QStringLiteral("demo-password"));
        if (!QFile::exists(OpenVpnClient::openVpnExecutablePath())) {
            QSKIP("the client starts no tunnel without an OpenVPN program in its place");
        }
    }
    void init()
    {
        make(false, true);
        testlog::clear();
    }
    void cleanup()
    {
        notices.reset();
        core.reset();
        service.reset();
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
        QSignalSpy attempts(core.get(), &VpnCore::reconnecting);
        QSignalSpy gaveUp(core.get(), &VpnCore::reconnectionGaveUp);
        report(1);
        report(3);
        report(0, QStringLiteral("CrashExit"));
        QVERIFY(attempts.isEmpty() && notices->count() == 1); // the notice, no attempt
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
        QCOMPARE(notices->count(), 2);
        QCOMPARE(runs("killswitch disable"), QStringList());
    }

    // A program the tunnel needs that is missing or cannot be run stops the attempt before anything
    // starts, naming it (the window's sentence adds what to do); the lock is not shown engaged.
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
        make(true, true);
        core->setInstallation(Installation(paths));
        core->connectToVpn();
        QCOMPARE(core->failure(), VpnCore::InstallationBroken);
        QVERIFY(!core->vpnConnectionInProgress() && !core->networkLockEngaged());
        QCOMPARE(core->brokenInstallation().size(), 1);
        QVERIFY2(core->brokenInstallation().first().contains(folder.filePath(piece)),
            qPrintable(core->brokenInstallation().first()));
        QCOMPARE(service->count("openvpn"), 0);
        // Put right, the next attempt goes ahead.
        QFile::remove(folder.filePath(piece));
        QVERIFY(QFile::copy(folder.filePath(piece == "dns" ? "openvpn" : "dns"), folder.filePath(piece)));
        core->connectToVpn();
        waitConnected(1);
        QVERIFY(core->brokenInstallation().isEmpty() && core->networkLockEngaged());
    }

    // The service refused the lock's tool: the lock is not shown engaged, and the tunnel does not stay
    // up without it.
    void lockThatFailsIsTakenBack()
    {
        make(true, true);
        service->answers = false;
        report(1);
        report(3);
        QVERIFY(core->networkLockEngaged() && core->vpnConnected());
        service->play(QStringLiteral("started:0,2,killswitch"));
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
            QCOMPARE(errors.takeLast().at(0).toString(), QStringLiteral("VPN server IP is not a valid address!"));
        }
        QCOMPARE(service->count("openvpn"), 0);
    }

    // Whether a tunnel can be made is the service's answer, asked at every link-up; the client opens no device.
    void tunFromTheService_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::newRow("TUN") << QString();
        QTest::newRow("no TUN") << "/dev/net/tun: No such file or directory";
    }
    void tunFromTheService()
    {
        QFETCH(QString, reason);
        core.reset();
        service->sent.clear();
        service->tunReason = reason;
        core = std::make_unique<VpnCoreProbe>(service.get());
        QSignalSpy changed(core.get(), &VpnCore::tunAvailableChanged);
        QTRY_VERIFY(service->count("query: tun") == 1 && service->settled());
        QCOMPARE(core->tunAvailable(), reason.isEmpty());
        QCOMPARE(changed.count(), int(!reason.isEmpty()));
        QVERIFY2(
            core->tunUnavailableText().contains(reason) && core->tunUnavailableText().isEmpty() == reason.isEmpty(),
            qPrintable(core->tunUnavailableText()));
        service->drop();
        service->restore();
        QCOMPARE(service->count("query: tun"), 2);
    }

    // Under the lock with automatic reconnection, OpenVPN ends unexpectedly while another server has
    // been chosen: the lock holds through the reconnection and is moved to the new server in one step.
    // (Giving up, and a service restart, are leak-test rows, with the packets counted.)
    void lockHoldsThroughReconnection()
    {
        make(true, true);
        core->connectToVpn();
        waitConnected(1);
        QCOMPARE(runs("killswitch enable all 198.51.100.1").size(), 1);
        QTRY_VERIFY(core->view()->vpnOnlineTime() > "00:00:00"); // the timer runs
        core->setVpnServerIp(QStringLiteral("198.51.100.2"));
        service->endOpenVpn(1);
        waitConnected(2);
        QTRY_VERIFY(service->settled());
        QVERIFY(!core->vpnConnectionInProgress()); // no further attempt waits
        QCOMPARE(service->count("openvpn"), 2);
        QCOMPARE(notices->count(), 0);
        QCOMPARE(runs("killswitch disable"), QStringList());
        // The new server's lock replaced the old one before the new OpenVPN was asked for.
        const QStringList all = service->transcript();
        const int moved = all.indexOf(QRegularExpression("^killswitch enable all 198.51.100.2\\b.*"));
        QVERIFY2(moved > 0 && moved < all.lastIndexOf("openvpn"), qPrintable(all.join('\n')));
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
        make(true, true);
        core->connectToVpn();
        waitConnected(1);
        if (before == "disconnected") {
            core->disconnectFromVpn();
            QTRY_VERIFY(!service->openVpnRunning() && !core->vpnConnected());
        } else if (before == "reconnection pending") {
            QSignalSpy reconnecting(core.get(), &VpnCore::reconnecting);
            service->endOpenVpn(1);
            QVERIFY(reconnecting.wait());
            QVERIFY(core->vpnConnectionInProgress()); // one click leaves
        }
        testlog::clear();
        service->sent.clear();
        QSignalSpy connectedChanges(core.get(), &VpnCore::vpnConnectedChanged);
        if (event.startsWith("resume")) {
            core->onHostResumed();
        } else if (event.startsWith("network")) {
            core->onNetworkChanged();
        } else if (event == "connect") {
            core->connectToVpn();
        }
        // Started at once, not after the reconnection delay.
        QCOMPARE(service->count("openvpn"), int(restarts || event == "network, disconnect"));
        if (event.endsWith("disconnect")) {
            core->disconnectFromVpn();
            QVERIFY(!core->vpnConnectionInProgress() || event != "disconnect");
            QCOMPARE(runs("killswitch disable all").size(), 1);
        }
        // Settled: connected again, or down with OpenVPN ended; and no attempt waits for its delay.
        QTRY_VERIFY((restarts ? core->vpnConnected() : !service->openVpnRunning()) && service->settled());
        QVERIFY(!core->vpnConnectionInProgress());
        QCOMPARE(core->view()->currentIpInfoText(), restarts ? "Connected" : "Disconnected");
        QCOMPARE(service->count("openvpn"), int(restarts || event == "network, disconnect"));
        if (!restarts) {
            QCOMPARE(testlog::count("asking for the current IP"), int(before == "disconnected"));
            return;
        }
        if (before == "connected") {
            // Down first: never Connected on the old tunnel once it is being replaced.
            QCOMPARE(connectedChanges.first().first().toBool(), false);
        }
        QVERIFY(core->vpnConnected());
        QCOMPARE(notices->count(), 0);
        QCOMPARE(runs("killswitch disable"), QStringList());
    }

    // Lockdown follows the setting, and the service, which has the last word, says whether traffic is
    // blocked; the servers of each list go with it.
    void lockdownFollowsTheSetting()
    {
        Settings::instance()->setLockdownEnabled(true);
        QTRY_VERIFY(core->trafficBlockedByLockdown());
        emit api.requestServerListFinished({ Server(0, "NL", "Amsterdam", "nl", "198.51.100.1", 10) });
        QTRY_COMPARE(service->count("lockdown: on local 198.51.100.1"), 1);
        Settings::instance()->setLockdownEnabled(false);
        QTRY_VERIFY(!core->trafficBlockedByLockdown());
        QCOMPARE(service->count("lockdown: off"), 1);
        // Turned on by another client: the setting follows, and the list's servers go to the service.
        service->play("lockdown:on");
        QVERIFY(Settings::instance()->lockdownEnabled() && core->trafficBlockedByLockdown());
        QTRY_COMPARE(service->count("lockdown: on local 198.51.100.1"), 2);
        Settings::instance()->setLockdownEnabled(false);
    }

    // Each session's pushed servers alone: a push of one family never keeps the other from before, and
    // a session that pushes none leaves the resolvers as they are.
    void pushedDnsPerSession()
    {
        make(false, true,
            { FakeService::tunnel("dhcp-option DNS 10.8.0.1,dhcp-option DNS fd00:8::1"), FakeService::tunnel(),
                FakeService::tunnel("route-gateway 10.8.0.1") });
        core->connectToVpn();
        waitConnected(1);
        QTRY_COMPARE(runs("dns"), QStringList { "dns vpn " + guid + "@10.8.0.1,fd00:8::1" });
        // The lock is off, the tunnel guarded all the same.
        QCOMPARE(runs("killswitch"), QStringList { "killswitch enable tunnel 198.51.100.1 local" });
        core->disconnectFromVpn();
        QTRY_COMPARE(runs("dns user"), QStringList { "dns user " + guid + "@" });
        QTRY_VERIFY(!service->openVpnRunning());
        core->connectToVpn();
        waitConnected(2);
        QTRY_COMPARE(runs("dns vpn").value(1), "dns vpn " + guid + "@10.8.0.1,");
        core->disconnectFromVpn();
        QTRY_VERIFY(!service->openVpnRunning());
        core->connectToVpn();
        waitConnected(3);
        QTRY_VERIFY(service->settled());
        QCOMPARE(runs("dns vpn").size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestVpnCore)
#include "tst_vpncore.moc"
