// vpn-service: the privileged helper of the VPN client. Runs in the foreground: as a systemd
// unit (service/vpn-service.service), or started by the development host. On Windows the installer
// registers it as a service; the service manager's stop and shutdown take the place of SIGTERM, and
// the same orderly end follows.
#include "foundation/logtag.h"
#include "foundation/quitsignals.h"
#include "lockdownmode.h"
#include "platform/programpaths.h"
#include "runfolder.h"
#include "servicelistener.h"
#include "servicelog.h"
#include "serviceprocess.h"
#include "vpnservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vpn-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Privileged service of the VPN client"));
    parser.addHelpOption();
    const QCommandLineOption logOption(QStringLiteral("log-file"),
        QStringLiteral("Log file (default %1).").arg(ServiceLog::defaultFilePath()), QStringLiteral("path"),
        ServiceLog::defaultFilePath());
    const QCommandLineOption logSizeOption(QStringLiteral("log-max-size"),
        QStringLiteral("Rotate the log file at this size in bytes (default %1).").arg(ServiceLog::defaultMaxSize),
        QStringLiteral("bytes"), QString::number(ServiceLog::defaultMaxSize));
    const QCommandLineOption stateOption(QStringLiteral("state-dir"),
        QStringLiteral("Folder of the service's state, lockdown's (default %1).").arg(LockdownMode::defaultFolder()),
        QStringLiteral("path"), LockdownMode::defaultFolder());
    parser.addOption(logOption);
    parser.addOption(logSizeOption);
    parser.addOption(stateOption);
    parser.process(application);

    const qint64 logSize = parser.value(logSizeOption).toLongLong();
    ServiceLog::install(parser.value(logOption), logSize > 0 ? logSize : ServiceLog::defaultMaxSize);
    tagged(qInfo(), QStringLiteral("Main")) << "vpn-service starting, PID " << QCoreApplication::applicationPid();

    // SIGTERM and SIGINT (the service manager's stop on Windows) end the event loop, so that
    // running programs are ended in order and the machine is put back.
    const auto quit = [&application] {
        tagged(qInfo(), QStringLiteral("Main")) << "Termination requested";
        application.quit();
    };
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &application, quit);
    QString managerError;
    const bool attached = ServiceProcess::attachToManager(
        [&application, quit] {
            QMetaObject::invokeMethod(&application, quit, Qt::QueuedConnection);
        },
        &managerError);
    if (!attached) {
        tagged(qCritical(), QStringLiteral("Main")) << "Cannot run as a service: " << managerError;
        return 1;
    }
    ServiceProcess::prepare(ServiceListener::maxTotal + 64);
    if (const int removed = RunFolder::removeLeftovers()) {
        tagged(qInfo(), QStringLiteral("Main"))
            << "Removed " << removed << " folder(s) left by a service that was killed";
    }

    int result = 1;
    {
        VpnService service(ProgramPaths::current(), parser.value(stateOption));
        if (service.listen()) {
            ServiceProcess::reportServing();
            result = application.exec();
        }
    }
    tagged(qInfo(), QStringLiteral("Main")) << "vpn-service stopped";
    ServiceProcess::reportStopped(result);
    return result;
}
