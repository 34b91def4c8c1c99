#pragma once

#include "servers/server.h"

#include <QObject>
#include <QString>
#include <QTimer>

class NetworkApi;
class ServerListModel;

// Keeps the server list and the public IP address coming: asks again, with a growing delay, while
// either is missing, and at once after every change of the tunnel. Stands between the provider API
// client and the server list model, so that a failed refresh never takes a list the user already has.
class DirectoryRefresh : public QObject
{
    Q_OBJECT

public:
    DirectoryRefresh(NetworkApi* api, ServerListModel* model, QObject* parent = nullptr);

    // The first delay doubles after each failure up to the longest; the tests shorten both.
    void setRetryDelays(int firstMilliseconds, int longestMilliseconds);

    static constexpr int firstRetryDelay = 2000;
    static constexpr int longestRetryDelay = 60000;

public slots:
    // Asks for the list and the address now.
    void start();
    // The route to the provider may have changed: what is missing is asked for again at once, and
    // the list in any case.
    void onTunnelChanged();

private slots:
    void onServerListFinished(const Servers& servers);
    void onCurrentIpAddressFinished(const QString& ip, const QString& countryCode);

private:
    // One request with its retry timer and the delay the next failure waits.
    struct Retry
    {
        QTimer timer;
        int delay = 0;
    };
    void failed(Retry& retry, const char* what);
    void succeeded(Retry& retry);

    NetworkApi* api;
    ServerListModel* model;
    Retry listRetry;
    Retry ipRetry;
    int firstDelay = firstRetryDelay;
    int longestDelay = longestRetryDelay;
};
