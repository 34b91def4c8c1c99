#include "application.h"

#include "logger.h"
#include "logtag.h"
#include "service/servicecontroller.h"
#include "settings/settings.h"

#include <QQmlContext>
#include <QSslSocket>
#include <QSysInfo>
#include <QWindow>

Application::Application()
{
    setObjectName(QStringLiteral("Application"));
    Logger::instance();
    writeBanner();
    serviceController = new ServiceController(this);

    QQmlContext* context = engine.rootContext();
    context->setContextProperty(QStringLiteral("settings"), Settings::instance());
    context->setContextProperty(QStringLiteral("logger"), Logger::instance());

    engine.load(QUrl(Settings::qmlFileUrl(QStringLiteral("main.qml"))));
}

Application::~Application()
{
    tagged(qInfo(), objectName()) << "Request to quit";
    serviceController->sendInitCommand();
    tagged(qInfo(), objectName()) << "Stopped";
}

void Application::writeBanner()
{
    tagged(qInfo(), objectName()) << "Build date: '" << buildDate() << "'";
    tagged(qInfo(), objectName()) << "Started on " << QSysInfo::prettyProductName() << ", "
                                  << QSysInfo::currentCpuArchitecture();
    tagged(qInfo(), objectName()) << "OpenSSL for Qt: " << QSslSocket::sslLibraryBuildVersionString();
}

QString Application::buildDate()
{
    return QStringLiteral(__DATE__);
}

bool Application::isInitialized() const
{
    return !engine.rootObjects().isEmpty();
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

void Application::messageReceived(const QString& message)
{
    Q_UNUSED(message)
    tagged(qInfo(), objectName()) << "Message to show app";
    showMainWindow();
}
