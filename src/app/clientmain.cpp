#include "clientmain.h"

#include "application.h"
#include "foundation/logtag.h"
#include "foundation/quitsignals.h"
#include "singleapplication.h"

#include <QLocale>
#include <QTranslator>

int clientMain(int argc, char** argv)
{
    qputenv("QML_DISABLE_DISK_CACHE", "1");
    // The text's glyph caches grow by a copy kept in memory instead of a copying shader of each
    // cache's own: compiling those shaders cost the first frame about 35 ms and 3 MB with a software
    // renderer, more than the copies ever do.
    qputenv("QML_USE_GLYPHCACHE_WORKAROUND", "1");

    // Scaled by the screen's device pixel ratio; only takes effect before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    SingleApplication app(QStringLiteral("VPNClient"), argc, argv);
    // The sign-in launch starts the client in the tray; a quiet start of a second instance leaves the
    // first as it is.
    const bool hidden = app.arguments().contains(QStringLiteral("--hidden"));
    if (app.isRunning()) {
        if (!hidden) {
            app.sendMessage(QString(), 5000);
        }
        return 0;
    }

    QTranslator translator;
    if (translator.load(
            QLocale(), QStringLiteral("vpnclient"), QStringLiteral("_"), QStringLiteral(":/src/translations"))) {
        app.installTranslator(&translator);
    }

    Application application(hidden);
    bool failed = false;
    QObject::connect(&application, &Application::startUpEnded, &app, [&failed](bool initialized) {
        if (!initialized) {
            failed = true;
            QCoreApplication::exit(-1);
        }
    });

    QObject::connect(&app, &SingleApplication::messageReceived, &application, &Application::messageReceived);
    // A session that logs out ends the client as the user's quit would.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &app, &QCoreApplication::quit);
    const int code = app.exec();
    if (failed) {
        tagged(qCritical(), QStringLiteral("Main")) << "Critical error, exiting...";
        return -1;
    }
    return code;
}
