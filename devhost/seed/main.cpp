// devhost-seed USER PASSWORD: stores the account in the client's settings store unless one is
// stored already, so a person's own sign-in is never overwritten. Prints what it did.
#include "settings/settings.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3 || arguments.at(1).isEmpty() || arguments.at(2).isEmpty()) {
        QTextStream(stderr) << "usage: devhost-seed USER PASSWORD\n";
        return 2;
    }
    Settings* settings = Settings::instance();
    if (!settings->userName().isEmpty() && !settings->password().isEmpty()) {
        out << "credentials already stored for " << settings->userName() << "\n";
        return 0;
    }
    settings->setUserName(arguments.at(1));
    settings->setPassword(arguments.at(2));
    settings->save();
    out << "credentials stored for " << settings->userName() << "\n";
    return 0;
}
