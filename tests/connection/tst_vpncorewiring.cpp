// How the application object wires the connection controller: ownership, the QML name, and the
// kill-switch event bringing the window to the front.
#include "app/application.h"
#include "connection/vpncore.h"
#include "servers/networkapi.h"

#include <QApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

class TestVpnCoreWiring : public QObject
{
    Q_OBJECT

private slots:
    void controllerIsWired()
    {
        Application application;
        const QObjectList children = application.children();
        auto* core = application.findChild<VpnCore*>(QString(), Qt::FindDirectChildrenOnly);
        auto* api = application.findChild<NetworkApi*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(core != nullptr && api != nullptr);
        QVERIFY(children.indexOf(api) < children.indexOf(core));

        QWindow* window = application.mainWindow();
        QVERIFY(window != nullptr);
        QCOMPARE(qmlEngine(window)->rootContext()->contextProperty(QStringLiteral("vpnCore")).value<QObject*>(), core);

        window->hide();
        emit core->killSwitchEventActivated();
        QVERIFY(window->isVisible());
    }
};

int main(int argc, char* argv[])
{
    // The client's log and settings go below folders of this test's own.
    QTemporaryDir profile;
    qputenv("XDG_CONFIG_HOME", profile.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", profile.filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication app(argc, argv);
    TestVpnCoreWiring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_vpncorewiring.moc"
