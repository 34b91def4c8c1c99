// Runs the logger as a real process: logger_probe MODE [ARGS...]
//   lines TEXT...    logs each TEXT at info level
//   kinds            logs one message of each level the client uses
//   threads N M      N threads log M lines each
//   separator TITLE  logs a separator with the tag "Probe"
//   vpnpath          prints vpnLogFilePath() on stdout
//   atexit TEXT      logs TEXT from an exit handler that runs after the static objects are gone
// Whatever the mode, the log file's name is printed first on stdout.
#include "app/logger.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <cstdlib>
#include <vector>

namespace {

QString lateText;

void logLate()
{
    qInfo().noquote() << lateText;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && qstrcmp(argv[1], "atexit") == 0) {
        lateText = QString::fromLocal8Bit(argv[2]);
        // Registered before the logger exists, so it runs after the logger's static objects are destroyed.
        std::atexit(logLate);
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    Logger* logger = Logger::instance();
    QTextStream out(stdout);
    out << QFileInfo(logger->vpnLogFilePath()).fileName() << '\n';

    const QString mode = args.value(0);
    if (mode == QLatin1String("lines")) {
        for (const QString& text : args.mid(1)) {
            qInfo().noquote() << text;
        }
    } else if (mode == QLatin1String("kinds")) {
        qDebug().noquote() << "Probe: debug text";
        qInfo().noquote() << "Probe: info text";
        qWarning().noquote() << "Probe: warning text";
        qCritical().noquote() << "Probe: critical text";
    } else if (mode == QLatin1String("threads")) {
        const int threads = args.value(1).toInt();
        const int lines = args.value(2).toInt();
        std::vector<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers.push_back(QThread::create([t, lines]() {
                for (int i = 0; i < lines; ++i) {
                    qInfo().noquote().nospace() << "Worker" << t << ": line " << i
                                                << " of a message long enough to be written in more than one piece";
                }
            }));
            workers.back()->start();
        }
        for (QThread* worker : workers) {
            worker->wait();
            delete worker;
        }
    } else if (mode == QLatin1String("separator")) {
        Logger::separator(QStringLiteral("Probe"), args.value(1));
    } else if (mode == QLatin1String("vpnpath")) {
        out << logger->vpnLogFilePath() << '\n';
    }
    return 0;
}
