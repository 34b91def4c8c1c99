#include "connection/vpncore.h"
#include "servers/networkapi.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "settings/uistyle.h"
#include "ui/dashcircle.h"

#include <QSignalSpy>
#include <QtQuick>
#include <QtQuickTest>

// The real connection controller. The tests play the tunnel through its report slots, and every call the
// windows make is recorded in "calls" before it goes on to the controller.
class VpnCoreProbe : public VpnCore
{
    Q_OBJECT
    Q_PROPERTY(QStringList calls MEMBER m_calls)
    QStringList m_calls;

public:
    using VpnCore::VpnCore;
    Q_INVOKABLE void disableKillSwitch()
    {
        m_calls << QStringLiteral("disableKillSwitch");
        VpnCore::disableKillSwitch();
    }
    Q_INVOKABLE void disconnectFromVpn()
    {
        m_calls << QStringLiteral("disconnectFromVpn");
        VpnCore::disconnectFromVpn();
    }
    Q_INVOKABLE void setVpnServerIp(const QString& ip)
    {
        m_calls << QStringLiteral("setVpnServerIp %1").arg(ip);
        VpnCore::setVpnServerIp(ip);
    }
};

// Singleton "TestSupport" 1.0. Sets the client's context properties, with the settings kept in a temporary
// profile.
class Setup : public QObject
{
    Q_OBJECT
    QTemporaryDir m_profile;
    // Nothing listens on the discard port: every public IP request fails at once and is ignored.
    NetworkApi m_api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    VpnCoreProbe* m_vpnCore = nullptr;
    ServerListModel m_model;

public:
    Q_INVOKABLE void loadServers()
    {
        m_model.updateServerList({ Server(0, "DE", "Frankfurt", "de1", "10.0.0.1", 30),
            Server(1, "NL", "Amsterdam", "nl1", "10.0.0.2", 60), Server(2, "US", "Dallas", "us1", "10.0.0.3", 90) });
    }
    // What a later start of the client would read.
    Q_INVOKABLE QVariant stored(const QString& key) const
    {
        return QSettings(QStringLiteral("VPN"), QStringLiteral("VPNClient")).value(QStringLiteral("Settings/") + key);
    }
    // The colour an item shows at one of its points.
    Q_INVOKABLE QColor pixel(QQuickItem* item, int x, int y) const
    {
        const QSharedPointer<QQuickItemGrabResult> grab = item->grabToImage();
        QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
        return ready.wait(5000) ? grab->image().pixelColor(x, y) : QColor();
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_profile.path()));
        m_vpnCore = new VpnCoreProbe(this);
        m_vpnCore->setNetworkApi(&m_api);
        qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
        qmlRegisterSingletonType(
            QUrl(QStringLiteral("qrc:/qml/controls/FontFactory.qml")), "VPNClient", 1, 0, "FontFactory");
        qmlRegisterSingletonInstance("TestSupport", 1, 0, "TestSupport", this);
        QQmlContext* context = engine->rootContext();
        context->setContextProperty(QStringLiteral("uiStyle"), new UiStyle(this));
        context->setContextProperty(QStringLiteral("settings"), Settings::instance());
        context->setContextProperty(QStringLiteral("serverListModel"), &m_model);
        context->setContextProperty(QStringLiteral("vpnCore"), m_vpnCore);
    }
    // Gone while the application still exists: shutting the controller down asks where the program lives.
    void cleanupTestCase()
    {
        delete m_vpnCore;
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_windows, Setup)

#include "tst_windows.moc"
