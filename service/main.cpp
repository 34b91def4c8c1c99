// vpn-service: the privileged helper of the VPN client. Runs in the foreground: as a systemd
// unit (service/vpn-service.service), or started by the development host.
#include "app/logtag.h"
#include "servicelog.h"
#include "vpnservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
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
    const QCommandLineOption allowOption(QStringLiteral("allow-client"),
        QStringLiteral("Also accept connections from this executable (tests, development host)."),
        QStringLiteral("path"));
    const QCommandLineOption logOption(QStringLiteral("log-file"),
        QStringLiteral("Log file (default %1).").arg(ServiceLog::defaultFilePath()), QStringLiteral("path"),
        ServiceLog::defaultFilePath());
    parser.addOption(allowOption);
    parser.addOption(logOption);
    parser.process(application);

    ServiceLog::install(parser.value(logOption));
    tagged(qInfo(), QStringLiteral("Main")) << "vpn-service starting, PID " << QCoreApplication::applicationPid();

#ifdef Q_OS_UNIX
    handleTerminationSignals(&application);
#endif

    VpnService service(QCoreApplication::applicationDirPath(), parser.values(allowOption));
    if (!service.listen()) {
        return 1;
    }
    const int result = application.exec();
    tagged(qInfo(), QStringLiteral("Main")) << "vpn-service stopped";
    return result;
}
