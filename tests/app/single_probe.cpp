// A real process around SingleApplication: single_probe APP_ID MESSAGE
// The first instance prints "primary" and then "received:<message>" for each message; it quits
// on the message "quit". A later instance sends MESSAGE and exits with 0 when the first one
// confirmed it, 3 when it did not.
#include "app/singleapplication.h"

#include <QTextStream>

int main(int argc, char** argv)
{
    SingleApplication app(QString::fromLocal8Bit(argv[1]), argc, argv);
    QTextStream out(stdout);
    if (app.isRunning()) {
        return app.sendMessage(QString::fromLocal8Bit(argv[2]), 5000) ? 0 : 3;
    }
    QObject::connect(&app, &SingleApplication::messageReceived, [&out](const QString& message) {
        out << "received:" << message << Qt::endl;
        if (message == QLatin1String("quit")) {
            QCoreApplication::quit();
        }
    });
    out << "primary" << Qt::endl;
    return app.exec();
}
