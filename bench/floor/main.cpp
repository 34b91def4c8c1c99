// The floor the client is measured against: the least a Qt Quick application of the same size,
// style and backend costs. "bench-floor --ticking" adds one label that changes once a second,
// as the client's online time does while connected; "bench-floor --drawn" one label on one rectangle,
// the least a window that shows anything draws.
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QUrl>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(
        QStringLiteral("ticking"), app.arguments().contains(QStringLiteral("--ticking")));
    engine.rootContext()->setContextProperty(
        QStringLiteral("drawn"), app.arguments().contains(QStringLiteral("--drawn")));
    engine.load(QUrl(QStringLiteral("qrc:/floor.qml")));
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    return app.exec();
}
