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

TrayIcon::TrayIcon(TrayPresenter* presenter, ConnectionStatus* status, VpnCore* core, ServerListModel* model,
    bool darkStyle, QObject* parent)
    : QObject(parent)
    , presenter(presenter)
    , status(status)
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

    connect(status, &ConnectionStatus::changed, this, &TrayIcon::refresh);
    connect(core->view(), &ConnectionView::currentIpChanged, this, &TrayIcon::refresh);
    connect(model, &ServerListModel::locationTextChanged, this, &TrayIcon::refresh);
    connect(model, &ServerListModel::serverIpChanged, this, &TrayIcon::refresh);
    connect(presenter, &TrayPresenter::activated, this, &TrayIcon::showWindowRequested);
    connect(presenter, &TrayPresenter::messageClicked, this, &TrayIcon::showWindowRequested);

    refresh();
    presenter->show(&trayMenu);
}

QString TrayIcon::iconPath(ConnectionStatus::State state, bool darkStyle)
{
    // A disconnection under way is drawn as a connection under way: the tunnel is changing.
    static const char* const names[] = { "disconnected", "connecting", "connected", "connecting", "blocked" };
    return QStringLiteral(":/resources/icons/tray_%1_%2.png")
        .arg(QLatin1String(names[state]), darkStyle ? QStringLiteral("white") : QStringLiteral("black"));
}

QMenu* TrayIcon::menu()
{
    return &trayMenu;
}

QString TrayIcon::stateText(ConnectionStatus::State state) const
{
    switch (state) {
    case ConnectionStatus::Disconnecting:
        return tr("Disconnecting...");
    case ConnectionStatus::Connecting:
        return tr("Connecting...");
    case ConnectionStatus::Connected:
        return tr("Connected");
    case ConnectionStatus::Blocked:
        if (core->trafficBlockedByLockdown() && !core->lockdownHolder().isEmpty()) {
            return tr("Traffic blocked by the lockdown of the user %1").arg(core->lockdownHolder());
        }
        return core->trafficBlockedByLockdown()
            ? tr("Traffic blocked by lockdown (to lift it, turn off \"Block all traffic while the VPN is off\" in the "
                 "settings)")
            : tr("Internet blocked by the network lock");
    case ConnectionStatus::Disconnected:
        break;
    }
    return tr("Disconnected");
}

void TrayIcon::refresh()
{
    const ConnectionStatus::State now = status->state();
    presenter->setIcon(iconPath(now, dark));

    QStringList tip { QStringLiteral("%1: %2").arg(ProductName::title(), stateText(now)), model->locationText() };
    if (!core->view()->currentIp().isEmpty()) {
        tip << tr("IP address: %1").arg(core->view()->currentIp());
    }
    presenter->setToolTip(tip.join(QLatin1Char('\n')));

    // One entry, as the round switch: it cancels an attempt under way, and waits out a disconnection.
    const bool tunnel = now == ConnectionStatus::Connected || now == ConnectionStatus::Connecting
        || now == ConnectionStatus::Disconnecting;
    connectAction->setText(tunnel ? tr("Disconnect") : tr("Connect"));
    connectAction->setEnabled(tunnel ? now != ConnectionStatus::Disconnecting : !model->serverIp().isEmpty());

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
