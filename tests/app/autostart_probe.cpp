// Runs AutoStart from wherever this executable was copied to: autostart_probe enable|disable|check
// prints "true" or "false" (isEnabled afterwards).
#include "app/autostart.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString command = app.arguments().value(1);
    if (command == QLatin1String("enable") || command == QLatin1String("disable")) {
        AutoStart::setEnabled(command == QLatin1String("enable"));
    } else if (command != QLatin1String("check")) {
        return 2;
    }
    QTextStream(stdout) << (AutoStart::isEnabled() ? "true" : "false") << Qt::endl;
    return 0;
}
