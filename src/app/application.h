#pragma once

#include "platform/adapters.h"

#include <QObject>
#include <QQmlApplicationEngine>
#include <QString>

#include <functional>
#include <memory>

class ConnectionStatus;
class DirectoryRefresh;
class NetworkApi;
class QMessageBox;
class RemoteCommands;
class RemoteServer;
class QWindow;
class ProblemReport;
class ServerLatency;
class ServiceLogQuery;
class ServerListModel;
class ServiceController;
class TrayIcon;
class TrayNotifier;
class TrayPresenter;
class UiStyle;
class Update;
class VpnCore;

// The spine of the client: creates, wires and exposes every long-lived object, loads the
// scene, and takes it all down again in a fixed order.
class Application : public QObject
{
    Q_OBJECT

public:
    // startHidden: the window is not shown at start (the sign-in launch's --hidden); the tray is the
    // way in, or the window after all where the desktop has no notification area.
    explicit Application(bool startHidden = false);
    ~Application() override;

    // True once the scene is loaded and the adapter discovery, which runs after the constructor
    // while the window shows, found the host able to make tunnels.
    bool isInitialized() const;
    QWindow* mainWindow() const;
    void showMainWindow();
    // The main window with the server list open over it.
    void showServerList();

    // The build date in the compiler's "Mmm dd yyyy" form.
    static QString buildDate();
    // The start-up banner; the version line only when the installer's component list has one.
    static void writeBanner();

    // Test seam: called with the new-version question box just before it is shown, so that a
    // test can answer it without a person.
    void setUpdateQuestionHook(std::function<void(QMessageBox&)> hook);

signals:
    // Start-up has ended, from the event loop: without an adapter (Windows), TUN (Linux) or a scene
    // the client cannot work.
    void startUpEnded(bool initialized);

public slots:
    void messageReceived(const QString& message);
    void newVersionIsAvailable(const QString& newVersion);
    void onKillSwitchEventActivated();

private:
    void onAdaptersDiscovered();
    void awaitFirstFrame();
    void onFirstFrame();
    void finishStartUp();
    void createTray();

    static constexpr int firstFrameWaitMs = 1000;
    static constexpr int serviceAnswerWaitMs = 3000;
    bool adaptersReady = false;
    bool firstFrameShown = false;
    QMetaObject::Connection firstFrameConnection;

    NetworkApi* networkApi = nullptr;
    DirectoryRefresh* directoryRefresh = nullptr;
    // Declared before the engine: the engine is destroyed first, then the discovery.
    AdapterDiscovery adapterDiscovery;
    QQmlApplicationEngine engine;
    ServerListModel* serverListModel = nullptr;
    ServerLatency* serverLatency = nullptr;
    ServiceLogQuery* serviceLogQuery = nullptr;
    ProblemReport* problemReport = nullptr;
    UiStyle* uiStyle = nullptr;
    Update* update = nullptr;
    VpnCore* vpnCore = nullptr;
    ConnectionStatus* connectionStatus = nullptr;
    std::function<void(QMessageBox&)> updateQuestionHook;
    ServiceController* serviceController = nullptr;
    TrayPresenter* trayPresenter = nullptr;
    TrayIcon* trayIcon = nullptr;
    TrayNotifier* trayNotifier = nullptr;
    bool startHidden = false;
    // The command line's way in.
    std::unique_ptr<RemoteCommands> remoteCommands;
    RemoteServer* remoteServer = nullptr;
};
