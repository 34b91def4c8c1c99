// How the application object wires the connection controller: its QML name, and the kill-switch
// event bringing the window to the front.
#include "app/application.h"
#include "connection/vpncore.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

class TestVpnCoreWiring : public QObject
{
    Q_OBJECT

    QTemporaryDir profile; // the client's log and settings go below folders of the test's own

private slots:
    void controllerIsWired()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(profile.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(profile.filePath(QStringLiteral("data"))));
        Application application;
        auto* core = application.findChild<VpnCore*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(core != nullptr);
        QWindow* window = application.mainWindow();
        QVERIFY(window != nullptr);
        QCOMPARE(qmlEngine(window)->rootContext()->contextProperty(QStringLiteral("vpnCore")).value<QObject*>(), core);
        window->hide();
        emit core->killSwitchEventActivated();
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(TestVpnCoreWiring)
#include "tst_vpncorewiring.moc"
