#pragma once

#include "servers/server.h"

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkConfigurationManager>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <optional>

class QNetworkReply;
class QNetworkRequest;

// The client's only HTTP client: asks the provider API host for the public IP address with its
// country and for the server feed, and hands the parsed results out as signals.
class NetworkApi : public QObject
{
    Q_OBJECT

public:
    // Talks to the deployment's API host, trusting its pinned certificate authority if it has one.
    explicit NetworkApi(QObject* parent = nullptr);
    // apiHost is "host[:port]"; caPem, when not empty, is a PEM certificate authority trusted for
    // that host in addition to the system's.
    NetworkApi(const QString& apiHost, const QByteArray& caPem, QObject* parent = nullptr);
    ~NetworkApi() override;

    // The feed, then the public IP address.
    void requestServerList();
    void requestServerFeed();
    void requestCurrentIpAddress();

    QString geoIpUrl() const;
    QString serverListUrl() const;
    // TLS settings of every request to the API host.
    QSslConfiguration sslConfiguration() const;

    // A request that transfers nothing for this long is aborted; the tests shorten it.
    void setReplyTimeout(int milliseconds);

    static constexpr int defaultReplyTimeout = 8000;
    // A reply that grows beyond this is aborted.
    static constexpr qint64 maxReplySize = 4 * 1024 * 1024;

    // The feed parser: the accepted servers read before the end or the first XML error.
    static Servers parseServerList(const QString& xml);
    // The geo-IP parser: the address and country code of the reply's "data" object, empty when
    // absent; false with the reason when the body is not JSON.
    static bool parseGeoIp(const QByteArray& body, QString* ip, QString* countryCode, QString* error);

signals:
    void requestCurrentIpAddressFinished(QString ip, QString countryCode);
    void requestServerListFinished(const Servers& servers);

protected slots:
    void onFinished(QNetworkReply* reply);

private:
    void get(QNetworkRequest request);
    void guard(QNetworkReply* reply);
    void handleGeoIpReply(const QString& urlText, const QByteArray& body);
    void handleServerListReply(const QString& urlText, const QByteArray& body);
    void dropIdleConnections();

    QNetworkAccessManager& accessManager();

    // Made at the first request: the access manager loads the bearer plugins and the authority the
    // crypto library, neither of which the window's first frame has to wait for.
    std::unique_ptr<QNetworkAccessManager> manager;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    std::unique_ptr<QNetworkConfigurationManager> configurationManager;
    QT_WARNING_POP
    QString apiHost;
    QByteArray pinnedCaPem;
    mutable std::optional<QSslConfiguration> apiSslConfiguration;
    int replyTimeout = defaultReplyTimeout;
    int repliesUnderWay = 0;
};
