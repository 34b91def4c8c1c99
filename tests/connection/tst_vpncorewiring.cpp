// How the application object wires the connection controller: its QML name, the kill-switch event
// bringing the window to the front, the chosen server with no window at all; and when start-up ends.
#include "../support/testkit.h"
#include "app/application.h"
#include "connection/vpncore.h"
#include "servers/serverlistmodel.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>

#include <QWindow>
#include <QtTest>
#include <atomic>

class TestVpnCoreWiring : public QObject
{
    Q_OBJECT

    TemporaryProfile profile; // the client's log and settings go below folders of the test's own

private slots:
    void controllerIsWired()
    {
        Application application;
        auto* core = application.findChild<VpnCore*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(core != nullptr);
        QWindow* window = application.mainWindow();
        QVERIFY(window != nullptr);
        QCOMPARE(qmlEngine(window)->rootContext()->contextProperty(QStringLiteral("vpnCore")).value<QObject*>(), core);
        window->hide();
        emit core->killSwitchEventActivated();
        QVERIFY(window->isVisible());
        // The tray connects too: the server chosen reaches the controller without the window.
        delete window;
        QVERIFY(application.mainWindow() == nullptr);
        application.findChild<ServerListModel*>()->updateServerList(
            { Server(0, "DE", "Frankfurt", "de1", "198.51.100.1", 30) });
        QCOMPARE(core->vpnServerIp(), QStringLiteral("198.51.100.1"));
    }

    // The tray, the system bus and the first requests wait for the window's first frame, but a
    // window that is never drawn does not hold start-up.
    void startUpEndsAfterTheFirstFrame_data()
    {
        QTest::addColumn<bool>("drawn");
        QTest::newRow("drawn") << true;
        QTest::newRow("never drawn") << false;
    }

    void startUpEndsAfterTheFirstFrame()
    {
        QFETCH(bool, drawn);
        Application application;
        auto* window = qobject_cast<QQuickWindow*>(application.mainWindow());
        QVERIFY(window != nullptr);
        if (!drawn) {
            window->hide();
        }
        std::atomic<int> frames { 0 };
        int framesAtEnd = -1;
        connect(
            window, &QQuickWindow::frameSwapped, this,
            [&frames] {
                frames.fetch_add(1);
            },
            Qt::DirectConnection);
        QSignalSpy ended(&application, &Application::startUpEnded);
        connect(&application, &Application::startUpEnded, this, [&] {
            framesAtEnd = frames;
        });
        QVERIFY(ended.wait(10000));
        if (!ended.first().first().toBool()) {
            QSKIP("no TUN device on this host: start-up ends before the window matters");
        }
        QCOMPARE(framesAtEnd > 0, drawn);
    }
};

QTEST_MAIN(TestVpnCoreWiring)
#include "tst_vpncorewiring.moc"
