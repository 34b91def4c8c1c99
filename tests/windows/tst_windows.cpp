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

public:
    explicit VpnCoreProbe(QObject* parent)
        : VpnCore(parent)
    { }

    Q_INVOKABLE void connectToVpn()
    {
        m_calls << QStringLiteral("connectToVpn");
        VpnCore::connectToVpn();
    }
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
    Q_INVOKABLE void setAutoReconnection(bool set)
    {
        m_calls << QStringLiteral("setAutoReconnection %1").arg(set ? "true" : "false");
        VpnCore::setAutoReconnection(set);
    }
    Q_INVOKABLE void setVpnServerIp(const QString& ip)
    {
        m_calls << QStringLiteral("setVpnServerIp %1").arg(ip);
        VpnCore::setVpnServerIp(ip);
    }

    // What the tunnel client and the provider API would report.
    Q_INVOKABLE void report(int state, const QString& text = QString())
    {
        onVpnConnectionStateChanged(state, text, false);
    }
    Q_INVOKABLE void byteCount(double received, double sent)
    {
        onByteCountChanged(qulonglong(received), qulonglong(sent));
    }
    Q_INVOKABLE void publicIp(const QString& ip, const QString& countryCode)
    {
        onRequestCurrentIpAddressFinished(ip, countryCode);
    }
    Q_INVOKABLE void online(int seconds)
    {
        updateOnlineTime(seconds);
    }

private:
    QStringList m_calls;
};

// Opening the log folder would start a file manager; the tests only count the requests.
class LogFolderDouble : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int opened MEMBER m_opened)

public:
    Q_INVOKABLE void openLogFolder()
    {
        ++m_opened;
    }

private:
    int m_opened = 0;
};

// Singleton "TestSupport" 1.0: the context properties of the client, with the settings kept in a
// temporary profile, and a look into the stored settings.
class Setup : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject* vpnCore MEMBER m_vpnCore CONSTANT)
    Q_PROPERTY(QObject* logger MEMBER m_logger CONSTANT)
    Q_PROPERTY(QObject* serverListModel MEMBER m_model CONSTANT)

public:
    Setup()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_profile.path()));
    }

    Q_INVOKABLE void loadServers()
    {
        m_model->updateServerList({ Server(0, QStringLiteral("DE"), QStringLiteral("Frankfurt"), QStringLiteral("de1"),
                                        QStringLiteral("10.0.0.1"), 30),
            Server(1, QStringLiteral("NL"), QStringLiteral("Amsterdam"), QStringLiteral("nl1"),
                QStringLiteral("10.0.0.2"), 60),
            Server(2, QStringLiteral("US"), QStringLiteral("Dallas"), QStringLiteral("us1"), QStringLiteral("10.0.0.3"),
                90) });
    }
    // What a later start of the client would read.
    Q_INVOKABLE QVariant stored(const QString& key) const
    {
        QSettings store(QStringLiteral("VPN"), QStringLiteral("VPNClient"));
        return store.value(QStringLiteral("Settings/") + key);
    }
    // The colour an item shows at one of its points.
    Q_INVOKABLE QColor pixel(QQuickItem* item, int x, int y) const
    {
        const QSharedPointer<QQuickItemGrabResult> grab = item->grabToImage();
        if (grab.isNull()) {
            return QColor();
        }
        QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
        ready.wait(5000);
        return grab->image().pixelColor(x, y);
    }
    Q_INVOKABLE void expectLine(const QString& line)
    {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        auto* core = new VpnCoreProbe(this);
        core->setNetworkApi(&m_api);
        m_vpnCore = core;
        m_logger = new LogFolderDouble;
        m_logger->setParent(this);
        m_model = new ServerListModel(this);
        qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
        qmlRegisterSingletonType(
            QUrl(QStringLiteral("qrc:/qml/controls/FontFactory.qml")), "VPNClient", 1, 0, "FontFactory");
        qmlRegisterSingletonInstance("TestSupport", 1, 0, "TestSupport", this);
        QQmlContext* context = engine->rootContext();
        context->setContextProperty(QStringLiteral("uiStyle"), new UiStyle(this));
        context->setContextProperty(QStringLiteral("settings"), Settings::instance());
        context->setContextProperty(QStringLiteral("logger"), m_logger);
        context->setContextProperty(QStringLiteral("serverListModel"), m_model);
        context->setContextProperty(QStringLiteral("vpnCore"), m_vpnCore);
    }

    // Gone while the application still exists: shutting the controller down asks where the program lives.
    void cleanupTestCase()
    {
        delete m_vpnCore;
        m_vpnCore = nullptr;
    }

private:
    QTemporaryDir m_profile;
    // Nothing listens on the discard port: every public IP request fails at once and is ignored.
    NetworkApi m_api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    QObject* m_vpnCore = nullptr;
    QObject* m_logger = nullptr;
    ServerListModel* m_model = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_windows, Setup)

#include "tst_windows.moc"
