// vpn-service: the privileged helper of the VPN client. Runs in the foreground: as a systemd
// unit (service/vpn-service.service), or started by the development host.
#include "app/logtag.h"
#include "runfolder.h"
#include "servicelistener.h"
#include "servicelog.h"
#include "vpnservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    Q_UNUSED(written)
}

// SIGTERM and SIGINT end the event loop, so that running programs are ended in order.
void handleTerminationSignals(QCoreApplication* application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, application);
    QObject::connect(notifier, &QSocketNotifier::activated, application, [application] {
        char byte = 0;
        const ssize_t read = ::read(signalPipe[0], &byte, 1);
        Q_UNUSED(read)
        tagged(qInfo(), QStringLiteral("Main")) << "Termination requested";
        application->quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A client that goes away mid-write must not end the service.
    ::signal(SIGPIPE, SIG_IGN);
}

// Root's own supplementary groups would otherwise still count while a user's file is opened with
// that user's rights.
void dropSupplementaryGroups()
{
    if (::geteuid() == 0 && ::setgroups(0, nullptr) != 0) {
        tagged(qWarning(), QStringLiteral("Main")) << "Cannot drop supplementary groups";
    }
}

// The connection caps must stay under the descriptor limit (LimitNOFILE of the unit), with room
// for the programs' pipes, the log and the user files of a run.
void checkDescriptorLimit()
{
    constexpr rlim_t needed = ServiceListener::maxTotal + 64;
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    if (limit.rlim_cur < needed && limit.rlim_max >= needed) {
        limit.rlim_cur = needed;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < needed) {
        tagged(qWarning(), QStringLiteral("Main"))
            << "Descriptor limit " << limit.rlim_cur << " is below the " << needed << " the connection caps need";
    }
}
#else
void dropSupplementaryGroups() { }
void checkDescriptorLimit() { }
#endif
// Windows: the installer registers the program as a service; the service control manager's
// stop request takes the place of SIGTERM.

} // namespace

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
    parser.addOption(logOption);
    parser.addOption(logSizeOption);
    parser.process(application);

    const qint64 logSize = parser.value(logSizeOption).toLongLong();
    ServiceLog::install(parser.value(logOption), logSize > 0 ? logSize : ServiceLog::defaultMaxSize);
    tagged(qInfo(), QStringLiteral("Main")) << "vpn-service starting, PID " << QCoreApplication::applicationPid();

#ifdef Q_OS_UNIX
    handleTerminationSignals(&application);
#endif

    dropSupplementaryGroups();
    checkDescriptorLimit();
    if (const int removed = RunFolder::removeLeftovers()) {
        tagged(qInfo(), QStringLiteral("Main"))
            << "Removed " << removed << " folder(s) left by a service that was killed";
    }

    VpnService service(QCoreApplication::applicationDirPath());
    if (!service.listen()) {
        return 1;
    }
    const int result = application.exec();
    tagged(qInfo(), QStringLiteral("Main")) << "vpn-service stopped";
    return result;
}
