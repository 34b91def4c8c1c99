#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "settings/uistyle.h"
#include "ui/dashcircle.h"

#include <QtQuick>
#include <QtQuickTest>

// Stands in for the connection controller: the properties are writable so that a test can play the
// tunnel, and every call the windows make is recorded in "calls".
class VpnCoreDouble : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString currentIp MEMBER m_currentIp NOTIFY currentIpChanged)
    Q_PROPERTY(QString currentIpInfoText MEMBER m_infoText NOTIFY currentIpInfoTextChanged)
    Q_PROPERTY(QString currentLocationImageSource MEMBER m_imageSource NOTIFY currentLocationImageSourceChanged)
    Q_PROPERTY(QString downloaded MEMBER m_downloaded NOTIFY downloadedChanged)
    Q_PROPERTY(QString uploaded MEMBER m_uploaded NOTIFY uploadedChanged)
    Q_PROPERTY(QString vpnConnectionErrorText MEMBER m_errorText NOTIFY vpnConnectionErrorTextChanged)
    Q_PROPERTY(QString vpnOnlineTime MEMBER m_onlineTime NOTIFY vpnOnlineTimeChanged)
    Q_PROPERTY(bool vpnConnected MEMBER m_connected NOTIFY vpnConnectedChanged)
    Q_PROPERTY(bool vpnConnectionInProgress MEMBER m_connecting NOTIFY vpnConnectionInProgressChanged)
    Q_PROPERTY(bool vpnDisconnectionInProgress MEMBER m_disconnecting NOTIFY vpnDisconnectionInProgressChanged)
    Q_PROPERTY(QStringList calls MEMBER m_calls)

public:
    Q_INVOKABLE void connectToVpn()
    {
        m_calls << QStringLiteral("connectToVpn");
    }
    Q_INVOKABLE void disableKillSwitch()
    {
        m_calls << QStringLiteral("disableKillSwitch");
    }
    Q_INVOKABLE void disconnectFromVpn()
    {
        m_calls << QStringLiteral("disconnectFromVpn");
    }
    Q_INVOKABLE void setAutoReconnection(bool set)
    {
        m_calls << QStringLiteral("setAutoReconnection %1").arg(set ? "true" : "false");
    }
    Q_INVOKABLE void setVpnServerIp(const QString& ip)
    {
        m_calls << QStringLiteral("setVpnServerIp %1").arg(ip);
    }

signals:
    void currentIpChanged(QString ip);
    void currentIpInfoTextChanged(QString text);
    void currentLocationImageSourceChanged(QString imageSource);
    void downloadedChanged(QString downloaded);
    void killSwitchEventActivated();
    void uploadedChanged(QString uploaded);
    void vpnConnectedChanged(bool connected);
    void vpnConnectionErrorTextChanged(QString text);
    void vpnConnectionInProgressChanged(bool inProgress);
    void vpnDisconnectionInProgressChanged(bool inProgress);
    void vpnOnlineTimeChanged(QString time);

private:
    QString m_currentIp, m_infoText, m_imageSource, m_errorText;
    QString m_downloaded = QStringLiteral("0"), m_uploaded = QStringLiteral("0");
    QString m_onlineTime = QStringLiteral("00:00:00");
    bool m_connected = false, m_connecting = false, m_disconnecting = false;
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
    Q_INVOKABLE void expectLine(const QString& line)
    {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        m_vpnCore = new VpnCoreDouble;
        m_vpnCore->setParent(this);
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

private:
    QTemporaryDir m_profile;
    QObject* m_vpnCore = nullptr;
    QObject* m_logger = nullptr;
    ServerListModel* m_model = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_windows, Setup)

#include "tst_windows.moc"
