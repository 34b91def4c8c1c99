// Writes the client's start-up banner to standard error. Tests run a copy of it from a folder
// of their own, which then is the application folder the banner reads components.xml from.
#include "app/application.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Application::writeBanner();
    return 0;
}
