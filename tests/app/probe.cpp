// The code under test in a process of its own: probe MODE [ARGS...]
//   client                 the client's entry point, linked without its QML scene
//   enable|disable|check   sets AutoStart from wherever this program lies; prints isEnabled() as 1 or 0
//   atexit TEXT            also logs TEXT from an exit handler that runs after the static objects are gone
//   [kinds|threads N M] TEXT...  prints vpnLogFilePath(), logs a line of each kind or has N threads log
//                          M lines each, and logs each TEXT
#include "app/clientmain.h"
#include "foundation/logger.h"
#include "platform/autostart.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTextStream>
#include <cstdlib>
#include <thread>

static QString lateText;

int main(int argc, char** argv)
{
    const QByteArray mode = argc > 1 ? argv[1] : "";
    QTextStream out(stdout);
    if (mode == "client") {
        return clientMain(argc, argv);
    }
    if (mode == "atexit") {
        lateText = QString::fromLocal8Bit(argv[2]);
        std::atexit([]() {
            qInfo().noquote() << lateText;
        }); // registered before the logger exists
    }
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(2);
    if (mode == "enable" || mode == "disable" || mode == "check") {
        out << (mode == "check" ? AutoStart::isEnabled() : AutoStart::setEnabled(mode == "enable")) << Qt::endl;
        return 0;
    }
    out << Logger::instance()->vpnLogFilePath() << Qt::endl;
    if (mode == "kinds") {
        qDebug("Probe: debug text");
        qInfo("Probe: info text");
        qWarning("Probe: warning text");
        qCritical("Probe: critical text");
        Logger::separator("Probe", "Kill switch event!");
    }
    std::vector<std::thread> threads;
    for (int t = 0; mode == "threads" && t < args.value(0).toInt(); ++t) {
        threads.emplace_back([t, lines = args.value(1).toInt()]() {
            for (int i = 0; i < lines; ++i) {
                qInfo("Worker%d: line %d of a message long enough to be written in more than one piece", t, i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const QString& text : mode == "threads" ? QStringList() : mode == "kinds" ? args : app.arguments().mid(1)) {
        qInfo().noquote() << text;
    }
    return 0;
}
