// Stand-in for OpenVPN in the lifecycle tests, run by the real vpn-service. It plays the next
// step of the script file beside it ("script", one step a line, the last step sticks):
//   exit N   end at once with exit code N
//   serve [N]  open the management port and play a successful dialogue; "signal SIGTERM" ends it
//            with N (default 0)
// It appends its arguments to "args.log" (one run a line, arguments separated by a tab) and what
// it receives on the management port to "received.log".
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onTerm(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}

QString besideMe(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

QTcpSocket* managementPeer = nullptr;
int termExitCode = 0;

void recordLines(QTcpSocket* socket);

void append(const QString& name, const QByteArray& line)
{
    QFile file(besideMe(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(line + '\n');
    }
}

QString nextStep()
{
    QFile file(besideMe(QStringLiteral("script")));
    if (!file.open(QIODevice::ReadWrite)) {
        return QStringLiteral("exit 9");
    }
    QStringList steps = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (steps.isEmpty()) {
        return QStringLiteral("exit 9");
    }
    const QString step = steps.first().trimmed();
    if (steps.size() > 1) {
        steps.removeFirst();
        file.resize(0);
        file.write(steps.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    return step;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    append(QStringLiteral("args.log"), QCoreApplication::arguments().mid(1).join(QLatin1Char('\t')).toUtf8());

    const QString step = nextStep();
    if (step.startsWith(QLatin1String("exit "))) {
        return step.mid(5).toInt();
    }

    // SIGTERM from the service ends the run like OpenVPN's, after what the client wrote is recorded.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        ::signal(SIGTERM, onTerm);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            if (managementPeer != nullptr) {
                managementPeer->waitForReadyRead(300);
                recordLines(managementPeer);
            }
            QCoreApplication::exit(1);
        });
    }

    termExitCode = step.section(QLatin1Char(' '), 1, 1).toInt();
    QTcpServer server;
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 61973)) {
        return 8;
    }
    // Never outlive a test that forgot about it.
    QTimer::singleShot(60000, &app, [] {
        QCoreApplication::exit(7);
    });
    QObject::connect(&server, &QTcpServer::newConnection, &app, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        managementPeer = socket;
        socket->write(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n");
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            recordLines(socket);
        });
    });
    return app.exec();
}

namespace {

void recordLines(QTcpSocket* socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        append(QStringLiteral("received.log"), line);
        if (line == "log on") {
            socket->write(">PASSWORD:Need 'Auth' username/password\r\n");
        } else if (line.startsWith("password ")) {
            socket->write(">STATE:1700000000,ASSIGN_IP,,10.8.0.2,,,,,fd00:8::1000\r\n"
                          ">LOG:1700000000,I,Initialization Sequence Completed\r\n");
        } else if (line == "signal SIGTERM") {
            socket->flush();
            QCoreApplication::exit(termExitCode);
        }
    }
}

} // namespace
