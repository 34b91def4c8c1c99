#pragma once

#include "ui/connectionstatus.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QWindow;
class ServerListModel;
class TrayPresenter;
class VpnCore;

// The client in the notification area: a picture of the connection's state, a tool tip naming the
// location and the current IP, and a menu to connect or disconnect, choose the location, show the
// window or quit. Where a notification area exists and the user wants it, closing the main window
// leaves the client running there; otherwise closing quits.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    // The state is the window's, as the status says it.
    TrayIcon(TrayPresenter* presenter, ConnectionStatus* status, VpnCore* core, ServerListModel* model, bool darkStyle,
        QObject* parent = nullptr);

    static QString iconPath(ConnectionStatus::State state, bool darkStyle);
    QMenu* menu();

    // From now on closing the window is decided here, quitting included.
    void watchWindow(QWindow* window);
    bool keepsRunningOnClose() const;

signals:
    void showWindowRequested();
    void serverListRequested();
    // The user's quit: the tunnel comes down, the lock is lifted and the resolvers are restored.
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    QString stateText(ConnectionStatus::State state) const;

    TrayPresenter* presenter;
    ConnectionStatus* status;
    VpnCore* core;
    ServerListModel* model;
    bool dark;
    QMenu trayMenu;
    QAction* connectAction;
    QAction* locationAction;
    QPointer<QWindow> window;
    bool toldAboutTray = false;
};
