// Shows every control of the library in the light and the dark style side by side.
//   vpn_gallery [--screenshot FILE]   with --screenshot: saves the window once settled and quits.
#include "styleprovider.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QQuickView>
#include <QTimer>
#include <QUrl>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"), QStringLiteral("Save the window to FILE and quit."), QStringLiteral("FILE"));
    parser.addOption(screenshot);
    parser.process(app);

    QQuickView view;
    StyleProvider::setUpEngine(view.engine());
    view.setResizeMode(QQuickView::SizeViewToRootObject);
    view.setSource(QUrl::fromLocalFile(QStringLiteral(VPN_GALLERY_QML)));
    if (view.status() != QQuickView::Ready) {
        return 1;
    }
    view.setTitle(QStringLiteral("Control gallery"));
    view.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // Long enough for the fonts to load and the switch animations to finish.
        QTimer::singleShot(1500, &view, [&view, &app, file]() {
            const bool saved = view.grabWindow().save(file);
            app.exit(saved ? 0 : 2);
        });
    }
    return app.exec();
}
