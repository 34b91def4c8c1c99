#include "traynotifier.h"

#include "connection/vpncore.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "ui/productname.h"
#include "ui/traypresenter.h"

#include <QCoreApplication>
#include <QTimer>

TrayNotifier::TrayNotifier(TrayPresenter* presenter, VpnCore* core, ServerListModel* model, QObject* parent)
    : QObject(parent)
    , presenter(presenter)
    , model(model)
{
    setObjectName(QStringLiteral("TrayNotifier"));
    connect(core, &VpnCore::vpnConnectedChanged, this, [this](bool connected) {
        if (connected) {
            post(Up);
        }
    });
    connect(core, &VpnCore::reconnected, this, [this] {
        post(Reconnected);
    });
    // The first retry tells of the loss; the following ones are the same news.
    connect(core, &VpnCore::reconnecting, this, [this](int attempt) {
        if (attempt == 1) {
            post(Reconnecting);
        }
    });
    connect(core, &VpnCore::connectionLost, this, [this](const QString& reason) {
        post(Lost, reason);
    });
    connect(core, &VpnCore::reconnectionGaveUp, this, [this] {
        post(GaveUp);
    });
    connect(core, &VpnCore::killSwitchEventActivated, this, &TrayNotifier::onBlocked);
}

void TrayNotifier::post(News news, const QString& reason)
{
    if (news > pending) {
        pending = news;
        pendingReason = reason;
    }
    if (!flushQueued) {
        flushQueued = true;
        QTimer::singleShot(0, this, &TrayNotifier::flush);
    }
}

void TrayNotifier::onBlocked()
{
    blocked = true;
    post(None);
}

void TrayNotifier::flush()
{
    const News news = pending;
    const QString reason = pendingReason;
    const bool lockHolds = blocked;
    pending = None;
    pendingReason.clear();
    blocked = false;
    flushQueued = false;
    if (!Settings::instance()->notificationsEnabled()) {
        return;
    }

    QString title;
    QString body;
    switch (news) {
    case Up:
        title = tr("VPN connected");
        body = model->locationText();
        break;
    case Reconnected:
        title = tr("VPN reconnected");
        body = model->locationText();
        break;
    case Reconnecting:
        title = tr("VPN connection lost");
        body = tr("Reconnecting...");
        break;
    case Lost:
        title = tr("VPN disconnected");
        body = reason.isEmpty() ? tr("The VPN connection ended unexpectedly.") : reason;
        break;
    case GaveUp:
        title = tr("Reconnection failed");
        body = tr("The VPN connection could not be re-established.");
        break;
    case None:
        break;
    }
    QSystemTrayIcon::MessageIcon icon = news <= Reconnected ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning;
    if (lockHolds) {
        // The window's words for the lock, with what took the tunnel down, as a critical message.
        title = tr("Internet blocked by the network lock");
        body = (body.isEmpty() ? tr("The VPN connection ended unexpectedly.") : body) + QLatin1Char('\n')
            + tr("Open %1 to reconnect, or disconnect to lift the lock.").arg(ProductName::title());
        icon = QSystemTrayIcon::Critical;
    }
    presenter->showMessage(title, body, icon);
}
