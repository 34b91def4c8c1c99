#include "networkapi.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"

#include <deploymentconfig.h>

#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QXmlStreamReader>

#include <memory>

namespace {

const QString geoIpPath = QStringLiteral("/v3/geoip");
const QString serverListPath = QStringLiteral("/feeds/serverinfo.xml");

int attributeAsInt(const QXmlStreamAttributes& attributes, const QString& name)
{
    // Absent or not a number reads as 0.
    return attributes.value(name).toInt(nullptr, 10);
}

} // namespace

NetworkApi::NetworkApi(QObject* parent)
    : NetworkApi(QString::fromUtf8(Deployment::apiHost), QByteArray(Deployment::apiCaPem), parent)
{ }

NetworkApi::NetworkApi(const QString& apiHost, const QByteArray& caPem, QObject* parent)
    : QObject(parent)
    , apiHost(apiHost)
    , pinnedCaPem(caPem.trimmed())
{
    setObjectName(QStringLiteral("NetworkApi"));
    qRegisterMetaType<Server>("Server");
    qRegisterMetaType<Servers>("Servers");
}

NetworkApi::~NetworkApi() = default;

QNetworkAccessManager& NetworkApi::accessManager()
{
    if (!manager) {
        manager = std::make_unique<QNetworkAccessManager>();
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        configurationManager = std::make_unique<QNetworkConfigurationManager>();
        manager->setConfiguration(configurationManager->defaultConfiguration());
        QT_WARNING_POP
        connect(manager.get(), &QNetworkAccessManager::finished, this, &NetworkApi::onFinished);
    }
    return *manager;
}

QString NetworkApi::geoIpUrl() const
{
    // In the form a reply reports its URL (host in lower case), so that replies can be told apart.
    return QUrl(QStringLiteral("https://") + apiHost + geoIpPath).toString();
}

QString NetworkApi::serverListUrl() const
{
    return QUrl(QStringLiteral("https://") + apiHost + serverListPath).toString();
}

QSslConfiguration NetworkApi::sslConfiguration() const
{
    // Reading the system store parses every certificate in it: once per client, not per request.
    if (apiSslConfiguration.has_value()) {
        return *apiSslConfiguration;
    }
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> pinnedCaCertificates;
    if (!pinnedCaPem.isEmpty()) {
        pinnedCaCertificates = QSslCertificate::fromData(pinnedCaPem, QSsl::Pem);
        if (pinnedCaCertificates.isEmpty()) {
            // A deployment that names a CA must not silently fall back to the system's trust alone.
            tagged(qCritical(), objectName()) << "Cannot read the certificate authority of the API host";
        }
    }
    if (!pinnedCaCertificates.isEmpty()) {
        // An explicit list switches off Qt's on-demand loading of the system store, so the system's
        // authorities are listed too: the pin adds to them, it does not replace them.
        ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + pinnedCaCertificates);
    }
    apiSslConfiguration = ssl;
    return ssl;
}

void NetworkApi::setReplyTimeout(int milliseconds)
{
    replyTimeout = milliseconds;
}

void NetworkApi::requestServerList()
{
    requestServerFeed();
    requestCurrentIpAddress();
}

void NetworkApi::requestServerFeed()
{
    get(QNetworkRequest(QUrl(serverListUrl())));
}

void NetworkApi::requestCurrentIpAddress()
{
    tagged(qInfo(), objectName()) << "Request current IP address";
    QNetworkRequest request { QUrl(geoIpUrl()) };
    request.setRawHeader("Accept", "application/json");
    get(request);
}

void NetworkApi::get(QNetworkRequest request)
{
    // Only requests to the API host carry the pinned authority; the process-wide default stays.
    request.setSslConfiguration(sslConfiguration());
    // No connection outlives its request: one kept open across a tunnel change would carry the next
    // request on the old route, where it hangs until the timeout instead of reporting the new address.
    request.setRawHeader("Connection", "close");
    // A request that moves no data for this long (a lock or a tunnel that is gone dropping its
    // packets, a server that stalls) fails and takes the caller's retry, instead of hanging.
    request.setTransferTimeout(replyTimeout);
    guard(accessManager().get(request));
    ++repliesUnderWay;
}

void NetworkApi::guard(QNetworkReply* reply)
{
    const QString urlText = reply->url().toString();
    const QString tag = objectName();
    // Checked on every arrival of data: the progress signal is throttled and may first come with
    // the finished reply, too late to abort it.
    auto exceeded = std::make_shared<bool>(false);
    auto checkSize = [reply, urlText, tag, exceeded]() {
        constexpr qint64 limit = maxReplySize;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (*exceeded || (reply->bytesAvailable() <= limit && announced <= limit)) {
            return;
        }
        *exceeded = true;
        tagged(qWarning(), tag) << "Network request '" << urlText << "' exceeds " << limit << " bytes";
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, checkSize);
    connect(reply, &QNetworkReply::readyRead, reply, checkSize);
}

void NetworkApi::onFinished(QNetworkReply* reply)
{
    const QString urlText = reply->url().toString();
    const bool isGeoIp = urlText == geoIpUrl();

    if (reply->error() != QNetworkReply::NoError) {
        tagged(qWarning(), objectName()) << "Network request '" << urlText
                                         << "' finished, error: " << reply->errorString();
        if (isGeoIp) {
            emit requestCurrentIpAddressFinished(Utils::anyAddress(), QString());
        } else {
            emit requestServerListFinished(Servers());
        }
    } else if (isGeoIp) {
        handleGeoIpReply(urlText, reply->readAll());
    } else {
        handleServerListReply(urlText, reply->readAll());
    }
    reply->deleteLater();
    if (--repliesUnderWay == 0) {
        // Once the reply is gone: never under a request still running.
        QTimer::singleShot(0, this, &NetworkApi::dropIdleConnections);
    }
}

void NetworkApi::dropIdleConnections()
{
    // The access manager keeps a connection to the host for two minutes after its last request,
    // and with it the TLS context, which stores every session ticket the server hands out and
    // never lets one go: a few kilobytes per request, for as long as requests come more often
    // than that (a client reconnecting again and again). Nothing reuses them: each request
    // closes its connection.
    if (repliesUnderWay == 0 && manager) {
        manager->clearConnectionCache();
    }
}

void NetworkApi::handleGeoIpReply(const QString& urlText, const QByteArray& body)
{
    QString ip;
    QString countryCode;
    QString error;
    if (!parseGeoIp(body, &ip, &countryCode, &error)) {
        tagged(qCritical(), objectName()) << "Cannot parse JSON document. Error: '" << error << "'";
    }
    const bool valid = Utils::isIpv4Address(ip);
    tagged(qInfo(), objectName()) << "Network request '" << urlText << "' finished, IP: " << ip
                                  << ", valid: " << Utils::boolToString(valid);
    emit requestCurrentIpAddressFinished(ip, countryCode);
}

void NetworkApi::handleServerListReply(const QString& urlText, const QByteArray& body)
{
    // UTF-8 whatever the document declares.
    const QString text = QString::fromUtf8(body);
    const Servers servers = parseServerList(text);
    tagged(qInfo(), objectName()) << "Network request '" << urlText << "' finished, data size: " << text.size()
                                  << ", total online and visible servers: " << servers.size();
    emit requestServerListFinished(servers);
}

bool NetworkApi::parseGeoIp(const QByteArray& body, QString* ip, QString* countryCode, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = parseError.errorString();
        return false;
    }
    const QVariantMap data = document.toVariant().toMap().value(QStringLiteral("data")).toMap();
    *ip = data.value(QStringLiteral("ip")).toString();
    *countryCode = data.value(QStringLiteral("iso_code")).toString();
    return true;
}

Servers NetworkApi::parseServerList(const QString& xml)
{
    Servers servers;
    qint32 nextId = 0;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.hasError()) {
            break;
        }
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (reader.name() == QLatin1String("zorvoserverList") || reader.name() != QLatin1String("server")) {
            continue;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributeAsInt(attributes, QStringLiteral("visible")) == 0
            || attributeAsInt(attributes, QStringLiteral("status")) == 0) {
            continue;
        }
        servers.append(Server(nextId++, attributes.value(QStringLiteral("country")).toString(),
            attributes.value(QStringLiteral("city")).toString(), attributes.value(QStringLiteral("name")).toString(),
            attributes.value(QStringLiteral("ip")).toString(), attributeAsInt(attributes, QStringLiteral("capacity"))));
    }
    if (reader.hasError()) {
        tagged(qCritical(), QStringLiteral("NetworkApi")) << "Cannot parse XML: " << reader.errorString();
    }
    return servers;
}
