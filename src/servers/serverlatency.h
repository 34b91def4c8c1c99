#pragma once

#include "servers/server.h"

#include <deploymentconfig.h>

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class LatencyProbe;

// The round trip to each server of the list: a round of probes after each list refresh (never more
// often), a few at a time, each bounded in time. Not while a tunnel is up or coming up (the probes
// would go through it) nor while the network lock holds (it lets through one server only); while
// lockdown blocks they run, since lockdown lets every server of the list through.
class ServerLatency : public QObject
{
    Q_OBJECT

public:
    using ProbeFactory = std::function<LatencyProbe*(QObject* parent)>;

    explicit ServerLatency(QObject* parent = nullptr);

    // The tests hand in stand-ins of the probe.
    void setProbeFactory(const ProbeFactory& factory);
    void setTunnelActive(bool active);
    void setLockEngaged(bool engaged);
    bool probing() const;

    // The last figure of a server's address in milliseconds, -1 when none.
    int roundTrip(const QString& address) const;

    // The server to connect to for the quickest connection: the lowest round trip weighed by load
    // (a figure counts as many times more as the load is over half: round trip x (1 + load/50)).
    // Servers without a figure are left out; without any figure the lightest load wins. Id of the
    // server, -1 for an empty list.
    static qint32 pickQuickest(const Servers& servers, const QHash<QString, int>& roundTrips);

    static constexpr int maxParallel = 4;
    static constexpr int timeoutMs = 2000;
    // Where a server takes the TCP tunnel: what the probe connects to when it cannot send an echo.
    static constexpr quint16 tcpPort = Deployment::openVpnTcpPort;

public slots:
    // Starts a round over these servers, unless one runs or probing is not allowed now.
    void measure(const Servers& servers);

signals:
    void measured(const QString& address, int milliseconds);
    void roundFinished();

private:
    void next();

    ProbeFactory makeProbe;
    QList<QString> pending;
    QHash<QString, int> figures;
    int running = 0;
    bool tunnelActive = false;
    bool lockEngaged = false;
};
