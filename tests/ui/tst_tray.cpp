// The tray icon and its messages, driven through the real connection controller, whose tunnel reports
// the test plays. A recorder stands in for the notification area, which a headless display lacks, and
// a fake that answers nothing for the service.
#include "../support/fakeservice.h"
#include "../support/testkit.h"
#include "../support/vpncoreprobe.h"
#include "connection/vpncore.h"
#include "foundation/logger.h"
#include "servers/networkapi.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "ui/trayicon.h"
#include "ui/traynotifier.h"
#include "ui/traypresenter.h"

#include <QAction>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include <memory>

namespace {

class Recorder : public TrayPresenter
{
public:
    bool available = true;
    QString icon;
    QString toolTip;
    QMenu* menu = nullptr;
    // "title|body|icon"
    QStringList messages;

    bool isAvailable() const override
    {
        return available;
    }
    void setIcon(const QString& path) override
    {
        icon = path;
    }
    void setToolTip(const QString& text) override
    {
        toolTip = text;
    }
    void show(QMenu* shown) override
    {
        menu = shown;
    }
    void showMessage(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon kind) override
    {
        messages << QStringLiteral("%1|%2|%3").arg(title, body).arg(int(kind));
    }
};

} // namespace

class TestTray : public QObject
{
    Q_OBJECT

    TemporaryProfile profile;
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    FakeService service;
    std::unique_ptr<VpnCoreProbe> core;
    std::unique_ptr<ServerListModel> model;
    std::unique_ptr<ConnectionStatus> status;
    std::unique_ptr<Recorder> tray;
    std::unique_ptr<TrayIcon> icon;
    std::unique_ptr<TrayNotifier> notifier;

    void make(bool dark, bool withServer)
    {
        cleanup();
        service.answers = false;
        service.sent.clear();
        core = std::make_unique<VpnCoreProbe>(&service);
        core->setNetworkApi(&api);
        model = std::make_unique<ServerListModel>();
        if (withServer) {
            model->updateServerList({ Server(0, "DE", "Frankfurt", "de1", "198.51.100.1", 30) });
            core->setVpnServerIp(model->serverIp());
        }
        tray = std::make_unique<Recorder>();
        status = std::make_unique<ConnectionStatus>(core.get(), model.get());
        icon = std::make_unique<TrayIcon>(tray.get(), status.get(), core.get(), model.get(), dark);
        notifier = std::make_unique<TrayNotifier>(tray.get(), core.get(), model.get());
    }

    // Steps, comma-separated: a tunnel report by number (0 the end of the user's disconnect, or without a
    // report, 1 connecting, 2 disconnecting, 3 connected), "crash" (an exit nobody asked for; "crash!" a
    // critical one, which is never retried), "timeout" (an attempt that failed),
    // "ip" (the current IP arrives), "lockdown" (the service says it holds), "held" (another user's lockdown holds),
    // "disconnect" (the user's, also from the lock's notice). Each step's news is out before the next.
    void play(const QString& steps)
    {
        for (const QString& step : steps.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (step.startsWith(QLatin1String("crash"))) {
                core->onVpnConnectionStateChanged(
                    VpnClient::Disconnected, QStringLiteral("CrashExit"), step.endsWith('!'));
            } else if (step == QLatin1String("timeout")) {
                core->onVpnConnectionStateChanged(
                    VpnClient::Error, QStringLiteral("The VPN server did not answer in time"), false);
            } else if (step == QLatin1String("lockdown")) {
                service.play(QStringLiteral("lockdown:on")); // the service says lockdown holds
            } else if (step == QLatin1String("held")) {
                service.play(QStringLiteral("lockdown:on,held:alice")); // and that it is another user's
            } else if (step == QLatin1String("ip")) {
                core->onRequestCurrentIpAddressFinished(QStringLiteral("198.51.100.1"), QStringLiteral("DE"));
            } else if (step == QLatin1String("disconnect")) {
                core->disconnectFromVpn();
            } else {
                core->onVpnConnectionStateChanged(static_cast<VpnClient::State>(step.toInt()), QString(), false);
            }
            QCoreApplication::processEvents();
        }
    }
    static void configure(bool killSwitch, bool autoReconnect, bool notifications = true)
    {
        Settings::instance()->setKillswitchEnabled(killSwitch);
        Settings::instance()->setAutoReconnectToVpn(autoReconnect);
        Settings::instance()->setNotificationsEnabled(notifications);
        Settings::instance()->setLockdownEnabled(false);
    }

private slots:
    void initTestCase()
    {
        Settings::instance()->setUserName(QStringLiteral("demo"));
        Settings::instance()->setPassword(QStringLiteral("demo-password"));
        Logger::instance();
    }
    void cleanup()
    {
        icon.reset();
        notifier.reset();
        status.reset();
        core.reset();
    }

    void stateShown_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("withServer");
        QTest::addColumn<bool>("killSwitch");
        QTest::addColumn<bool>("autoReconnect");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("entry"); // the first menu entry, "-" behind it when disabled
        QTest::addColumn<QString>("tip");
        // clang-format off
        QTest::newRow("disconnected") << false << true << false << false << "" << "disconnected" << "Connect" << "Korvex: Disconnected\nDE, Frankfurt";
        QTest::newRow("no server chosen") << false << false << false << false << "" << "disconnected" << "Connect-" << "Korvex: Disconnected\nNot selected";
        QTest::newRow("connecting") << false << true << false << false << "1" << "connecting" << "Disconnect" << "Korvex: Connecting...\nDE, Frankfurt";
        QTest::newRow("connected") << false << true << true << false << "1,3,ip" << "connected" << "Disconnect" << "Korvex: Connected\nDE, Frankfurt\nIP address: 198.51.100.1";
        QTest::newRow("disconnecting") << false << true << false << false << "1,3,2" << "connecting" << "Disconnect-" << "Korvex: Disconnecting...\nDE, Frankfurt";
        QTest::newRow("reconnection due") << false << true << true << true << "1,3,crash" << "connecting" << "Disconnect" << "Korvex: Connecting...\nDE, Frankfurt";
        QTest::newRow("blocked by the lock, dark") << true << true << true << false << "1,3,crash" << "blocked" << "Connect" << "Korvex: Internet blocked by the network lock\nDE, Frankfurt";
        QTest::newRow("user's disconnect lifts the lock") << false << true << true << false << "1,3,disconnect" << "disconnected" << "Connect" << "Korvex: Disconnected\nDE, Frankfurt";
        QTest::newRow("blocked by lockdown alone") << false << true << false << false << "lockdown" << "blocked" << "Connect" << "Korvex: Traffic blocked by lockdown (to lift it, turn off \"Block all traffic while the VPN is off\" in the settings)\nDE, Frankfurt";
        // Another user's: whose it is, since this user cannot lift it.
        QTest::newRow("blocked by another user's lockdown") << false << true << false << false << "held" << "blocked" << "Connect" << "Korvex: Traffic blocked by the lockdown of the user alice\nDE, Frankfurt";
        // clang-format on
    }
    void stateShown()
    {
        QFETCH(bool, dark);
        QFETCH(bool, withServer);
        QFETCH(bool, killSwitch);
        QFETCH(bool, autoReconnect);
        QFETCH(QString, steps);
        QFETCH(QString, picture);
        configure(killSwitch, autoReconnect);
        make(dark, withServer);
        play(steps);
        QCOMPARE(tray->icon, QStringLiteral(":/resources/icons/tray_%1_%2.png").arg(picture, dark ? "white" : "black"));
        QVERIFY(!QImage(tray->icon).isNull());
        const QList<QAction*> entries = tray->menu->actions();
        QTEST(entries.at(0)->text() + (entries.at(0)->isEnabled() ? "" : "-"), "entry");
        QCOMPARE(entries.at(1)->text(), model->locationText());
        QTEST(tray->toolTip, "tip");
    }

    // The entries act as the window's controls do: the first one as the round switch (its outcome in each state:
    // tst_windows).
    void menuActs_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("entry"); // 0 connect/disconnect, 1 location, 3 show window, 4 quit, -1 the icon
        QTest::addColumn<QString>("outcome");
        QTest::newRow("connect") << "" << 0 << "sent openvpn";
        QTest::newRow("location") << "" << 1 << "serverListRequested";
        QTest::newRow("show window") << "" << 3 << "showWindowRequested";
        QTest::newRow("icon clicked") << "" << -1 << "showWindowRequested";
        QTest::newRow("quit") << "1,3" << 4 << "quitRequested";
    }
    void menuActs()
    {
        QFETCH(QString, steps);
        QFETCH(int, entry);
        QFETCH(QString, outcome);
        configure(false, false);
        make(false, true);
        play(steps);
        QSignalSpy list(icon.get(), &TrayIcon::serverListRequested);
        QSignalSpy show(icon.get(), &TrayIcon::showWindowRequested);
        QSignalSpy quit(icon.get(), &TrayIcon::quitRequested);
        if (entry < 0) {
            emit tray->activated();
        } else {
            tray->menu->actions().at(entry)->trigger();
        }
        const QString signalled = QString(list.isEmpty() ? "" : "serverListRequested")
            + (show.isEmpty() ? "" : "showWindowRequested") + (quit.isEmpty() ? "" : "quitRequested");
        const bool sent = outcome.startsWith(QLatin1String("sent "));
        QCOMPARE(signalled, sent ? QString() : outcome);
        QCOMPARE(service.count("openvpn"), int(sent));
    }

    // Closing the window leaves the client in the tray only where there is one and the user wants it;
    // otherwise it is the user's quit.
    void closeToTray_data()
    {
        QTest::addColumn<bool>("available");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("notifications");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<int>("told"); // the message that the client is still there, once
        QTest::newRow("tray, kept") << true << true << true << false << 1;
        QTest::newRow("tray, kept, no messages") << true << true << false << false << 0;
        QTest::newRow("tray, not wanted") << true << false << true << true << 0;
        QTest::newRow("no tray") << false << true << true << true << 0;
    }
    void closeToTray()
    {
        QFETCH(bool, available);
        QFETCH(bool, keep);
        QFETCH(bool, notifications);
        QFETCH(bool, quits);
        configure(false, false, notifications);
        Settings::instance()->setKeepRunningInTray(keep);
        make(false, true);
        tray->available = available;
        QWindow window;
        window.resize(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        icon->watchWindow(&window);
        QSignalSpy quit(icon.get(), &TrayIcon::quitRequested);
        QSignalSpy lastClosed(qGuiApp, &QGuiApplication::lastWindowClosed);
        for (int close = 0; close < 2; ++close) {
            window.show();
            window.close();
            QCoreApplication::processEvents();
            QVERIFY(!window.isVisible());
        }
        QCOMPARE(quit.count(), quits ? 2 : 0);
        // Qt's own quit on the last closed window never comes: the rule above alone decides.
        QVERIFY(lastClosed.isEmpty() && !QGuiApplication::quitOnLastWindowClosed());
        QTEST(tray->messages.size(), "told");
        Settings::instance()->setKeepRunningInTray(true);
    }

    // One message for each change the user did not make, none for the user's own; what happens in one go is
    // one message. "title|body|icon", icon 1 information, 2 warning, 3 critical.
    void notifications_data()
    {
        // clang-format off
        QTest::addColumn<bool>("killSwitch");
        QTest::addColumn<bool>("autoReconnect");
        QTest::addColumn<bool>("notifications");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("messages");
        const QString up = QStringLiteral("VPN connected|DE, Frankfurt|1");
        const QString retry = QStringLiteral("VPN connection lost|Reconnecting...|2");
        const QString fourLosses = QStringLiteral("1,3,crash,1,crash,1,crash,1,crash");
        QTest::newRow("up") << false << false << true << "1,3" << QStringList { up };
        QTest::newRow("user's own disconnect, lock engaged") << true << false << true << "1,3,disconnect" << QStringList { up };
        QTest::newRow("user cancels an attempt") << false << false << true << "1,disconnect" << QStringList {};
        QTest::newRow("lost") << false << false << true << "1,3,crash" << QStringList { up, "VPN disconnected|The VPN connection ended unexpectedly.|2" };
        const QString blocked = QStringLiteral("Internet blocked by the network lock|%1\nOpen Korvex to reconnect, or disconnect to lift the lock.|3");
        QTest::newRow("lost, the lock holds") << true << false << true << "1,3,crash" << QStringList { up, blocked.arg("The VPN connection ended unexpectedly.") };
        // Neither is retried, whatever the setting.
        QTest::newRow("critical, the lock holds") << true << true << true << "1,3,crash!" << QStringList { up, blocked.arg("The VPN connection ended unexpectedly.") };
        QTest::newRow("ended unreported, the lock holds") << true << true << true << "1,3,0" << QStringList { up, blocked.arg("The VPN connection ended unexpectedly.") };
        QTest::newRow("attempt failed") << false << false << true << "1,timeout" << QStringList { "VPN disconnected|The VPN server did not answer in time|2" };
        QTest::newRow("reconnects") << false << true << true << "1,3,crash,1,crash,1,3" << QStringList { up, retry, "VPN reconnected|DE, Frankfurt|1" };
        QTest::newRow("gives up") << false << true << true << fourLosses << QStringList { up, retry, "Reconnection failed|The VPN connection could not be re-established.|2" };
        QTest::newRow("gives up, the lock holds") << true << true << true << fourLosses << QStringList { up, retry, blocked.arg("The VPN connection could not be re-established.") };
        QTest::newRow("notifications off") << true << true << false << fourLosses + ",1,3" << QStringList {};
        // clang-format on
    }
    void notifications()
    {
        QFETCH(bool, killSwitch);
        QFETCH(bool, autoReconnect);
        QFETCH(bool, notifications);
        QFETCH(QString, steps);
        configure(killSwitch, autoReconnect, notifications);
        make(false, true);
        play(steps);
        QTEST(tray->messages, "messages");
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
