#pragma once

#include <QObject>
#include <QString>

class ServerListModel;
class TrayPresenter;
class VpnCore;

// Tells the user through the tray's messages when the tunnel comes up, is lost, reconnects, gives up,
// or when the network lock blocks traffic; never about the user's own disconnect, and nothing while the
// user has turned the messages off. What happens in one go (a loss that gives up and leaves the lock
// holding) is one message.
class TrayNotifier : public QObject
{
    Q_OBJECT

public:
    TrayNotifier(TrayPresenter* presenter, VpnCore* core, ServerListModel* model, QObject* parent = nullptr);

private:
    // In rising weight: of the news of one go, the weightiest is told.
    enum News
    {
        None,
        Up,
        Reconnected,
        Reconnecting,
        Lost,
        GaveUp
    };

    void post(News news, const QString& reason = QString());
    void onBlocked();
    void flush();

    TrayPresenter* presenter;
    ServerListModel* model;
    News pending = None;
    QString pendingReason;
    bool blocked = false;
    bool flushQueued = false;
};
