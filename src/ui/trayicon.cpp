#include "trayicon.h"

#include "connection/vpncore.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "ui/productname.h"
#include "ui/traypresenter.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QWindow>

TrayIcon::TrayIcon(TrayPresenter* presenter, VpnCore* core, ServerListModel* model, bool darkStyle, QObject* parent)
    : QObject(parent)
    , presenter(presenter)
    , core(core)
    , model(model)
    , dark(darkStyle)
{
    setObjectName(QStringLiteral("TrayIcon"));
    connectAction = trayMenu.addAction(QString(), core, &VpnCore::toggleConnection);
    locationAction = trayMenu.addAction(QString(), this, &TrayIcon::serverListRequested);
    trayMenu.addSeparator();
    trayMenu.addAction(tr("Show window"), this, &TrayIcon::showWindowRequested);
    trayMenu.addAction(tr("Quit"), this, &TrayIcon::quitRequested);

    connect(core, &VpnCore::vpnConnectedChanged, this, &TrayIcon::refresh);
    connect(core, &VpnCore::vpnConnectionInProgressChanged, this, &TrayIcon::refresh);
    connect(core, &VpnCore::vpnDisconnectionInProgressChanged, this, &TrayIcon::refresh);
    connect(core, &VpnCore::networkLockEngagedChanged, this, &TrayIcon::refresh);
    connect(core, &VpnCore::trafficBlockedByLockdownChanged, this, &TrayIcon::refresh);
    connect(core->view(), &ConnectionView::currentIpChanged, this, &TrayIcon::refresh);
    connect(model, &ServerListModel::locationTextChanged, this, &TrayIcon::refresh);
    connect(model, &ServerListModel::serverIpChanged, this, &TrayIcon::refresh);
    connect(presenter, &TrayPresenter::activated, this, &TrayIcon::showWindowRequested);
    connect(presenter, &TrayPresenter::messageClicked, this, &TrayIcon::showWindowRequested);

    refresh();
    presenter->show(&trayMenu);
}

TrayIcon::State TrayIcon::state() const
{
    if (core->vpnConnected() && !core->vpnDisconnectionInProgress()) {
        return Connected;
    }
    if (core->vpnConnectionInProgress() || core->vpnDisconnectionInProgress()) {
        return Connecting;
    }
    return core->networkLockEngaged() || core->trafficBlockedByLockdown() ? Blocked : Disconnected;
}

QString TrayIcon::iconPath(State state, bool darkStyle)
{
    static const char* const names[] = { "disconnected", "connecting", "connected", "blocked" };
    return QStringLiteral(":/resources/icons/tray_%1_%2.png")
        .arg(QLatin1String(names[state]), darkStyle ? QStringLiteral("white") : QStringLiteral("black"));
}

QMenu* TrayIcon::menu()
{
    return &trayMenu;
}

QString TrayIcon::stateText(State state) const
{
    if (core->vpnDisconnectionInProgress()) {
        return tr("Disconnecting...");
    }
    switch (state) {
    case Connecting:
        return tr("Connecting...");
    case Connected:
        return tr("Connected");
    case Blocked:
        return core->trafficBlockedByLockdown()
            ? tr("Traffic blocked by lockdown (to lift it, turn off \"Block all traffic while the VPN is off\" in the "
                 "settings)")
            : tr("Internet blocked by the network lock");
    case Disconnected:
        break;
    }
    return tr("Disconnected");
}

void TrayIcon::refresh()
{
    const State now = state();
    presenter->setIcon(iconPath(now, dark));

    QStringList tip { QStringLiteral("%1: %2").arg(ProductName::title(), stateText(now)), model->locationText() };
    if (!core->view()->currentIp().isEmpty()) {
        tip << tr("IP address: %1").arg(core->view()->currentIp());
    }
    presenter->setToolTip(tip.join(QLatin1Char('\n')));

    // One entry, as the round switch: it cancels an attempt under way, and waits out a disconnection.
    const bool tunnel = now == Connected || now == Connecting;
    connectAction->setText(tunnel ? tr("Disconnect") : tr("Connect"));
    connectAction->setEnabled(tunnel ? !core->vpnDisconnectionInProgress() : !model->serverIp().isEmpty());

    // Choosing it opens the server list, where the location is changed.
    locationAction->setText(QString(model->locationText()).replace(QLatin1Char('&'), QStringLiteral("&&")));
    const QString flag = model->locationImageSource();
    locationAction->setIcon(flag.isEmpty() ? QIcon() : QIcon(flag.mid(flag.indexOf(QLatin1Char(':')))));
}

void TrayIcon::watchWindow(QWindow* mainWindow)
{
    window = mainWindow;
    if (window == nullptr) {
        return;
    }
    // Quitting is decided here: a dialog closed while the window is in the tray must not end the client.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    window->installEventFilter(this);
}

bool TrayIcon::keepsRunningOnClose() const
{
    return presenter->isAvailable() && Settings::instance()->keepRunningInTray();
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window || event->type() != QEvent::Close) {
        return QObject::eventFilter(watched, event);
    }
    event->ignore();
    window->hide();
    if (!keepsRunningOnClose()) {
        emit quitRequested();
    } else if (!toldAboutTray && Settings::instance()->notificationsEnabled()) {
        // Once a run, so that the closed window does not read as a quit.
        toldAboutTray = true;
        presenter->showMessage(ProductName::title(),
            tr("%1 keeps running in the notification area. Quit it from the icon's menu.").arg(ProductName::title()),
            QSystemTrayIcon::Information);
    }
    return true;
}
