#include "../support/fakeservice.h"
#include "../support/httpsserver.h"
#include "../support/testkit.h"
#include "connection/problemreport.h"
#include "connection/vpncore.h"
#include "servers/directoryrefresh.h"
#include "servers/networkapi.h"
#include "servers/serverfiltermodel.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "ui/connectionstatus.h"
#include "ui/dashcircle.h"
#include "ui/uistyle.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTranslator>
#include <QtQuick>
#include <QtQuickTest>

// Singleton "TestSupport" 1.0. Sets the client's context properties, with the settings kept in a temporary
// profile, the style and the language named by VPN_TEST_STYLE ("dark") and VPN_TEST_LANGUAGE ("ru"), and the
// provider API on a loopback HTTPS server that answers only what a test gives it.
class Setup : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString variant MEMBER m_variant CONSTANT)
    TemporaryProfile m_profile; // first: the model below reads the settings
    QString m_variant;
    QTranslator m_translator;
    // Made once the application exists: sockets need its event loop.
    HttpsServer* m_apiServer = nullptr;
    NetworkApi* m_api = nullptr;
    FakeService* m_service = nullptr;
    VpnCore* m_vpnCore = nullptr;
    ServerListModel m_model;
    DirectoryRefresh* m_refresh = nullptr;
    ConnectionStatus* m_status = nullptr;
    QImage m_snap;
    QList<QImage> m_pictures;

public:
    Q_INVOKABLE void loadServers()
    {
        m_model.updateServerList({ Server(0, "DE", "Frankfurt", "de1", "10.0.0.1", 30),
            Server(1, "NL", "Amsterdam", "nl1", "10.0.0.2", 60), Server(2, "US", "Dallas", "us1", "10.0.0.3", 90) });
    }
    // As after a refresh that worked.
    Q_INVOKABLE void listReachable()
    {
        m_model.setUnavailable(false);
    }
    // The application's start: the model empty, then the list and the address asked for.
    Q_INVOKABLE void startRefresh()
    {
        m_model.updateServerList({});
        m_refresh->start();
    }
    // Body the API server answers on a path from now on; empty for a failure (404).
    Q_INVOKABLE void serve(const QString& path, const QString& body)
    {
        if (body.isEmpty()) {
            m_apiServer->responses.remove(path.toUtf8());
        } else {
            m_apiServer->responses.insert(path.toUtf8(), Response { 200, body.toUtf8() });
        }
    }
    Q_INVOKABLE int requests(const QString& path) const
    {
        return m_apiServer->requests.filter(QStringLiteral("GET ") + path + QLatin1Char(' ')).size();
    }
    // As when a screen reader starts listening: the controls that exist publish their roles and names.
    Q_INVOKABLE void startScreenReader()
    {
        QAccessible::setActive(true);
    }
    // What assistive technology is told about an item: "role name", and " (selected)" when it is the chosen one.
    Q_INVOKABLE QString accessible(QQuickItem* item) const
    {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(item);
        return face == nullptr ? QString()
                               : QStringLiteral("%1 %2%3")
                                     .arg(int(face->role()))
                                     .arg(face->text(QAccessible::Name), face->state().selected ? " (selected)" : "");
    }
    // Waits in a true event loop for the object's signal ("walkedChanged()"): QML's waits answer the event
    // queue only every few milliseconds, which a peer calling in over D-Bus pays for every call.
    Q_INVOKABLE bool waitFor(QObject* object, const QString& signal, int ms) const
    {
        QSignalSpy spy(object, ("2" + signal).toLatin1().constData());
        return spy.wait(ms);
    }
    // A picture of an item as it is drawn now, kept for changedPixels().
    Q_INVOKABLE int picture(QQuickItem* item)
    {
        m_pictures << grab(item);
        return m_pictures.size() - 1;
    }
    // How many pixels of the item look different now from a picture taken before.
    Q_INVOKABLE int changedPixels(QQuickItem* item, int picture) const
    {
        const QImage now = grab(item), before = m_pictures.value(picture);
        if (now.size() != before.size()) {
            return now.width() * now.height();
        }
        int changed = 0;
        for (int row = 0; row < now.height(); ++row) {
            for (int column = 0; column < now.width(); ++column) {
                changed += now.pixel(column, row) != before.pixel(column, row) ? 1 : 0;
            }
        }
        return changed;
    }
    // Takes a picture of an item's window, as shown, for backgroundAt() in the window's coordinates.
    Q_INVOKABLE bool snap(QQuickItem* item)
    {
        // The software renderer leaves black what no item covers; the window's colour shows there. No colour
        // of the styles is pure black under a text.
        m_snap = grab(item->window()->contentItem());
        const QRgb ground = item->window()->color().rgb();
        for (int row = 0; row < m_snap.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(m_snap.scanLine(row));
            for (int column = 0; column < m_snap.width(); ++column) {
                if ((line[column] & 0xffffff) == 0) {
                    line[column] = ground;
                }
            }
        }
        return !m_snap.isNull();
    }
    // The colour that covers most of a rectangle of the last picture: what a text there is drawn on.
    Q_INVOKABLE QColor backgroundAt(qreal x, qreal y, qreal width, qreal height) const
    {
        const QRect area = QRectF(x, y, width, height).toAlignedRect().intersected(m_snap.rect());
        QHash<QRgb, int> counts;
        for (int row = area.top(); row <= area.bottom(); ++row) {
            for (int column = area.left(); column <= area.right(); ++column) {
                ++counts[m_snap.pixel(column, row)];
            }
        }
        const QList<int> sizes = counts.values();
        const QRgb common = counts.key(sizes.isEmpty() ? 0 : *std::max_element(sizes.cbegin(), sizes.cend()));
        return QColor::fromRgb(common);
    }
    // What a later start of the client would read.
    Q_INVOKABLE QVariant stored(const QString& key) const
    {
        return QSettings(QStringLiteral("VPN"), QStringLiteral("VPNClient")).value(QStringLiteral("Settings/") + key);
    }
    // The colour an item shows at one of its points.
    Q_INVOKABLE QColor pixel(QQuickItem* item, int x, int y) const
    {
        const QImage image = grab(item, false);
        return image.isNull() ? QColor() : image.pixelColor(x, y);
    }
    static QImage grab(QQuickItem* item, bool opaque = true)
    {
        const QSharedPointer<QQuickItemGrabResult> result = item->grabToImage();
        QSignalSpy ready(result.data(), &QQuickItemGrabResult::ready);
        if (!ready.wait(5000)) {
            return QImage();
        }
        return opaque ? result->image().convertToFormat(QImage::Format_RGB32) : result->image();
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        const bool dark = qgetenv("VPN_TEST_STYLE") == "dark";
        const bool russian = qgetenv("VPN_TEST_LANGUAGE") == "ru";
        m_variant = QStringLiteral("%1-%2").arg(dark ? "dark" : "light", russian ? "ru" : "en");
        if (russian && m_translator.load(QStringLiteral(":/src/translations/vpnclient_ru.qm"))) {
            QCoreApplication::installTranslator(&m_translator);
        }
        QFile branding(m_profile.filePath(QStringLiteral("branding.ini")));
        if (dark && branding.open(QIODevice::WriteOnly)) {
            branding.write("[Main]\nbrandingEnabled=true\ndarkStyle=true\n");
            branding.close();
        }
        m_apiServer = new HttpsServer(QStringLiteral("test-server"));
        m_apiServer->setParent(this);
        m_api = new NetworkApi(
            QStringLiteral("127.0.0.1:%1").arg(m_apiServer->serverPort()), readData("test-ca.pem"), this);
        m_refresh = new DirectoryRefresh(m_api, &m_model, this);
        m_refresh->setRetryDelays(100, 400);
        // The real connection controller; the tests play the tunnel through its report slots, and its
        // commands to the service go to a fake that answers none.
        m_service = new FakeService;
        m_service->answers = false;
        m_vpnCore = new VpnCore(m_service, this);
        m_vpnCore->setNetworkApi(m_api);
        // Wired as the application wires them.
        connect(m_vpnCore, &VpnCore::vpnConnectedChanged, m_refresh, &DirectoryRefresh::onTunnelChanged);
        connect(&m_model, &ServerListModel::serverIpChanged, m_vpnCore, &VpnCore::setVpnServerIp);
        serve(QStringLiteral("/v3/geoip"), QStringLiteral(R"({"data":{"ip":"192.0.2.2","iso_code":"DE"}})"));
        m_status = new ConnectionStatus(m_vpnCore, &m_model, this);
        qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
        qmlRegisterUncreatableType<ConnectionStatus>("ConnectionStatus", 1, 0, "ConnectionStatus", QString());
        qmlRegisterType<ServerFilterModel>("ServerFilter", 1, 0, "ServerFilterModel");
        qmlRegisterSingletonType(
            QUrl(QStringLiteral("qrc:/qml/controls/FontFactory.qml")), "VPNClient", 1, 0, "FontFactory");
        qmlRegisterSingletonInstance("TestSupport", 1, 0, "TestSupport", this);
        QQmlContext* context = engine->rootContext();
        context->setContextProperty(QStringLiteral("uiStyle"), new UiStyle(m_profile.path(), this));
        context->setContextProperty(QStringLiteral("settings"), Settings::instance());
        context->setContextProperty(QStringLiteral("serverListModel"), &m_model);
        context->setContextProperty(QStringLiteral("vpnCore"), m_vpnCore);
        context->setContextProperty(QStringLiteral("connectionView"), m_vpnCore->view());
        context->setContextProperty(QStringLiteral("connectionStatus"), m_status);
        // A report whose service never answers: the window only opens its dialog.
        context->setContextProperty(QStringLiteral("problemReport"),
            new ProblemReport(
                m_vpnCore, [](QObject*, const auto&) {}, this));
    }
    // Gone while the application still exists: shutting the controller down asks where the program
    // lives, and the API client's network thread ends only with an event loop to end it.
    void cleanupTestCase()
    {
        delete m_status;
        delete m_vpnCore;
        delete m_service;
        delete m_refresh;
        delete m_api;
        delete m_apiServer;
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_windows, Setup)

#include "tst_windows.moc"
