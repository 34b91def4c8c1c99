#include "application.h"

#include "connection/problemreport.h"
#include "connection/vpncore.h"
#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "platform/mtu.h"
#include "platform/networkchanges.h"
#include "platform/powerevents.h"
#include "platform/servicepresence.h"
#include "remote/remotecommands.h"
#include "remote/remoteserver.h"
#include "servers/directoryrefresh.h"
#include "servers/networkapi.h"
#include "servers/serverfiltermodel.h"
#include "servers/serverlatency.h"
#include "servers/serverlistmodel.h"
#include "service/servicecontroller.h"
#include "service/servicelogquery.h"
#include "settings/settings.h"
#include "ui/bundledfonts.h"
#include "ui/connectionstatus.h"
#include "ui/dashcircle.h"
#include "ui/logfolder.h"
#include "ui/productname.h"
#include "ui/trayicon.h"
#include "ui/traynotifier.h"
#include "ui/traypresenter.h"
#include "ui/uistyle.h"
#include "update/update.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSslSocket>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <utility>

namespace {

QString qmlFileUrl(const QString& fileName)
{
    return QStringLiteral("qrc:/qml/%1").arg(fileName);
}

} // namespace

Application::Application(bool startHidden)
    : startHidden(startHidden)
{
    setObjectName(QStringLiteral("Application"));
    Logger::instance();
    writeBanner();
    // The program's name where the desktop shows one: the notification area, message boxes.
    QGuiApplication::setApplicationDisplayName(ProductName::title());
    serviceController = new ServiceController(this);

    qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
    qmlRegisterUncreatableType<ConnectionStatus>(
        "ConnectionStatus", 1, 0, "ConnectionStatus", QStringLiteral("the context property connectionStatus"));
    qmlRegisterType<ServerFilterModel>("ServerFilter", 1, 0, "ServerFilterModel");

    update = new Update(this);
    connect(update, &Update::newVersionIsAvailable, this, &Application::newVersionIsAvailable);

    // The fonts belong to the look as much as the colours do, and must be there before any text is laid out.
    BundledFonts::install();
    uiStyle = new UiStyle(this);
    serverListModel = new ServerListModel(this);
    networkApi = new NetworkApi(this);
    vpnCore = new VpnCore(serviceController, this);
    vpnCore->setConnectToLastLocation(Settings::instance()->connectToLastLocation());
    connect(vpnCore, &VpnCore::killSwitchEventActivated, this, &Application::onKillSwitchEventActivated);
    vpnCore->setNetworkApi(networkApi);
    // The chosen server reaches the controller whether or not a window was ever shown: the tray connects too.
    connect(serverListModel, &ServerListModel::serverIpChanged, vpnCore, &VpnCore::setVpnServerIp);

    // The list reaches the model through the refresh, which asks again while it is missing.
    directoryRefresh = new DirectoryRefresh(networkApi, serverListModel, this);
    connect(vpnCore, &VpnCore::vpnConnectedChanged, directoryRefresh, &DirectoryRefresh::onTunnelChanged);
    // Each list that arrives is measured once, unless a tunnel or the lock stands in the way.
    serverLatency = new ServerLatency(this);
    const auto tunnelActive = [this] {
        serverLatency->setTunnelActive(
            vpnCore->vpnConnected() || vpnCore->vpnConnectionInProgress() || vpnCore->vpnDisconnectionInProgress());
    };
    connect(vpnCore, &VpnCore::vpnConnectedChanged, serverLatency, tunnelActive);
    connect(vpnCore, &VpnCore::vpnConnectionInProgressChanged, serverLatency, tunnelActive);
    connect(vpnCore, &VpnCore::vpnDisconnectionInProgressChanged, serverLatency, tunnelActive);
    connect(vpnCore, &VpnCore::networkLockEngagedChanged, serverLatency, &ServerLatency::setLockEngaged);
    connect(serverLatency, &ServerLatency::measured, serverListModel, &ServerListModel::setRoundTrip);
    connect(serverListModel, &ServerListModel::listUpdated, serverLatency, [this] {
        serverLatency->measure(serverListModel->serverList());
    });

    // What the window says about the connection, the service link's state included.
    connectionStatus = new ConnectionStatus(vpnCore, serverListModel, this);
    connect(serviceController, &ServiceController::connected, connectionStatus, [this] {
        connectionStatus->setServiceRunning(true);
    });
    connect(serviceController, &ServiceController::disconnected, connectionStatus, [this] {
        connectionStatus->setServiceRunning(false);
    });
    connect(serviceController, &ServiceController::initialConnectionStatusChanged, connectionStatus, [this] {
        connectionStatus->setServiceRunning(serviceController->isLinkUp());
    });

    // The problem report asks the service for this user's lines through the same link.
    serviceLogQuery = new ServiceLogQuery(serviceController, this);
    problemReport = new ProblemReport(
        vpnCore,
        [this](QObject*, const ServiceLogQuery::Done& done) {
            serviceLogQuery->ask(done);
        },
        this);

    QQmlContext* context = engine.rootContext();
    context->setContextProperty(QStringLiteral("uiStyle"), uiStyle);
    context->setContextProperty(QStringLiteral("vpnCore"), vpnCore);
    context->setContextProperty(QStringLiteral("connectionView"), vpnCore->view());
    context->setContextProperty(QStringLiteral("connectionStatus"), connectionStatus);
    context->setContextProperty(QStringLiteral("settings"), Settings::instance());
    // The settings window's "logger.openLogFolder()".
    context->setContextProperty(QStringLiteral("logger"), new LogFolder(this));
    context->setContextProperty(QStringLiteral("serverListModel"), serverListModel);
    context->setContextProperty(QStringLiteral("problemReport"), problemReport);

    // A quiet start: the window is made but not shown, before it could ever be drawn.
    if (startHidden) {
        engine.setInitialProperties({ { QStringLiteral("visible"), false } });
    }
    engine.load(QUrl(qmlFileUrl(QStringLiteral("main.qml"))));
    awaitFirstFrame();

    // The command line works the same objects as the window and the tray; it is heard from now on,
    // so that a "korvex connect" that started this client waits as briefly as it can.
    remoteCommands = std::make_unique<RemoteCommands>(
        vpnCore, connectionStatus, serverListModel, Settings::instance(), problemReport);
    remoteServer = new RemoteServer(remoteCommands.get(), this);
    remoteServer->listen();

    // A changed MTU goes to every adapter the discovery found (none before it has ended).
    connect(Settings::instance(), &Settings::mtuSizeChanged, this, [this](int mtu) {
        Mtu::applyToAdapters(adapterDiscovery.adapters(), mtu);
    });
    // The route listing takes its time; the window draws its first frame meanwhile.
    connect(&adapterDiscovery, &AdapterDiscovery::discovered, this, &Application::onAdaptersDiscovered);
    adapterDiscovery.discover();
}

void Application::onAdaptersDiscovered()
{
    adapterDiscovery.logAdapters();
    // Without a TAP adapter (or TUN) the client cannot work: start-up ends here and main exits.
    if (!adapterDiscovery.isUsable()) {
        emit startUpEnded(false);
        return;
    }
    adaptersReady = true;
    if (firstFrameShown) {
        finishStartUp();
    }
}

void Application::awaitFirstFrame()
{
    auto* window = qobject_cast<QQuickWindow*>(mainWindow());
    if (window == nullptr) {
        firstFrameShown = true;
        return;
    }
    // Emitted by the render thread; only the first one counts.
    firstFrameConnection
        = connect(window, &QQuickWindow::frameSwapped, this, &Application::onFirstFrame, Qt::QueuedConnection);
    // A window that is never drawn (hidden, or a platform without exposure) must not hold start-up.
    QTimer::singleShot(firstFrameWaitMs, this, &Application::onFirstFrame);
}

void Application::onFirstFrame()
{
    if (firstFrameShown) {
        return;
    }
    firstFrameShown = true;
    disconnect(firstFrameConnection);
    if (adaptersReady) {
        finishStartUp();
    }
}

// What nobody sees before the window has drawn itself: on a host that lists its adapters at once it
// would otherwise hold the first frame back (the tray and the system bus take a tenth of a second).
void Application::finishStartUp()
{
    // The first requests wait until the service has cleared what a killed client left behind: its
    // lock would drop them. A service that does not answer holds them up for a moment only.
    auto startRefresh = [this, once = std::make_shared<bool>(false)] {
        if (!std::exchange(*once, true)) {
            directoryRefresh->start();
        }
    };
    if (serviceController->isInitialized()) {
        startRefresh();
    } else {
        connect(serviceController, &ServiceController::initialized, directoryRefresh, startRefresh);
        QTimer::singleShot(serviceAnswerWaitMs, directoryRefresh, startRefresh);
    }

    if (Settings::instance()->autoUpdateEnabled()) {
        update->checkForUpdates();
    }
    if (!engine.rootObjects().isEmpty()) {
        createTray();
    }
    // A tunnel does not outlive the host's sleep or a change of its way out unnoticed. Joining the
    // system bus waits for its answers.
    connect(new PowerEvents(this), &PowerEvents::resumed, vpnCore, &VpnCore::onHostResumed);
    connect(new NetworkChanges(this), &NetworkChanges::changed, vpnCore, &VpnCore::onNetworkChanged);
    emit startUpEnded(!engine.rootObjects().isEmpty());

    checkVpnServiceRunning(this, [this](bool running) {
        tagged(qInfo(), objectName()) << "vpn-service is running: " << Utils::boolToString(running);
    });
}

void Application::createTray()
{
    trayPresenter = new SystemTrayPresenter(this);
    trayIcon = new TrayIcon(trayPresenter, connectionStatus, vpnCore, serverListModel, uiStyle->darkStyle(), this);
    trayNotifier = new TrayNotifier(trayPresenter, vpnCore, serverListModel, this);
    connect(trayIcon, &TrayIcon::showWindowRequested, this, &Application::showMainWindow);
    connect(trayIcon, &TrayIcon::serverListRequested, this, &Application::showServerList);
    connect(trayIcon, &TrayIcon::quitRequested, QCoreApplication::instance(), &QCoreApplication::quit);
    trayIcon->watchWindow(mainWindow());
    tagged(qInfo(), objectName()) << "Notification area available: "
                                  << Utils::boolToString(trayPresenter->isAvailable());
    // A quiet start without a notification area would leave the user no way in.
    if (startHidden && !trayPresenter->isAvailable()) {
        showMainWindow();
    }
}

Application::~Application()
{
    tagged(qInfo(), objectName()) << "Request to quit";
    // No request is taken while the controller goes away.
    delete remoteServer;
    remoteServer = nullptr;
    // The tray goes first: the shutdown below is no news, and its menu must not act on a controller going away.
    delete trayNotifier;
    delete trayIcon;
    delete trayPresenter;
    // A check result arriving this late must not open the question box any more.
    update->disconnect();
    delete update;
    update = nullptr;
    if (vpnCore->vpnConnected()) {
        if (QWindow* window = mainWindow()) {
            window->hide();
        }
        vpnCore->disconnectFromVpn();
        // Lets the tunnel, the kill switch and the DNS tool come down through their usual paths.
        for (int i = 0; i < 30; ++i) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(100);
        }
    }
    // The status must not read a controller that is being taken apart.
    disconnect(vpnCore, nullptr, connectionStatus, nullptr);
    delete vpnCore;
    vpnCore = nullptr;
    serviceController->sendInitCommand();
    tagged(qInfo(), objectName()) << "Stopped";
}

void Application::writeBanner()
{
    const QString tag = QStringLiteral("Application");
    const QString version = Update::currentVersion();
    if (!version.isEmpty()) {
        tagged(qInfo(), tag) << QStringLiteral("%1 version %2").arg(ProductName::title(), version);
    }
    tagged(qInfo(), tag) << "Build date: '" << buildDate() << "'";
    tagged(qInfo(), tag) << "Started on " << QSysInfo::prettyProductName() << ", "
                         << QSysInfo::currentCpuArchitecture();
    tagged(qInfo(), tag) << "OpenSSL for Qt: " << QSslSocket::sslLibraryBuildVersionString();
}

QString Application::buildDate()
{
    return QStringLiteral(__DATE__);
}

bool Application::isInitialized() const
{
    return !engine.rootObjects().isEmpty() && adapterDiscovery.isUsable();
}

QWindow* Application::mainWindow() const
{
    const QList<QObject*> roots = engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QWindow*>(roots.first());
}

void Application::showMainWindow()
{
    QWindow* window = mainWindow();
    if (window == nullptr) {
        return;
    }
    window->hide();
    window->show();
    if (!window->flags().testFlag(Qt::WindowStaysOnTopHint)) {
        // Setting and clearing stay-on-top raises the window above other applications on Windows.
        window->setFlags(window->flags() | Qt::WindowStaysOnTopHint);
        window->setFlags(window->flags() & ~Qt::WindowStaysOnTopHint);
    }
    window->requestActivate();
}

void Application::showServerList()
{
    showMainWindow();
    if (QWindow* window = mainWindow()) {
        QMetaObject::invokeMethod(window, "showServerList");
    }
}

void Application::messageReceived(const QString& message)
{
    Q_UNUSED(message)
    tagged(qInfo(), objectName()) << "Message to show app";
    showMainWindow();
}

void Application::onKillSwitchEventActivated()
{
    showMainWindow();
}

void Application::setUpdateQuestionHook(std::function<void(QMessageBox&)> hook)
{
    updateQuestionHook = std::move(hook);
}

void Application::newVersionIsAvailable(const QString& newVersion)
{
    if (newVersion.isEmpty()) {
        return;
    }

    QMessageBox box;
    box.setText(tr("New version found.\nDo you want to update to version %1?").arg(newVersion));
    QPushButton* updateButton = box.addButton(tr("Update"), QMessageBox::YesRole);
    box.addButton(tr("Skip"), QMessageBox::NoRole);
    if (updateQuestionHook) {
        updateQuestionHook(box);
    }
    box.exec();
    if (box.clickedButton() != updateButton) {
        return;
    }

    tagged(qInfo(), objectName()) << "Close app and start installer";
    update->startUpdater();
    QCoreApplication::quit();
}
