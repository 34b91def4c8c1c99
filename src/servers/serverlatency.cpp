#include "serverlatency.h"

#include "foundation/logtag.h"
#include "platform/latencyprobe.h"

#include <limits>

ServerLatency::ServerLatency(QObject* parent)
    : QObject(parent)
    , makeProbe([](QObject* owner) {
        return new LatencyProbe(owner);
    })
{
    setObjectName(QStringLiteral("ServerLatency"));
}

void ServerLatency::setProbeFactory(const ProbeFactory& factory)
{
    makeProbe = factory;
}

void ServerLatency::setTunnelActive(bool active)
{
    tunnelActive = active;
}

void ServerLatency::setLockEngaged(bool engaged)
{
    lockEngaged = engaged;
}

bool ServerLatency::probing() const
{
    return running > 0 || !pending.isEmpty();
}

int ServerLatency::roundTrip(const QString& address) const
{
    return figures.value(address, -1);
}

void ServerLatency::measure(const Servers& servers)
{
    if (probing() || tunnelActive || lockEngaged) {
        return;
    }
    for (const Server& server : servers) {
        if (!server.ip.isEmpty() && !pending.contains(server.ip)) {
            pending.append(server.ip);
        }
    }
    tagged(qInfo(), objectName()) << "Measuring the round trip to " << pending.size() << " servers";
    while (running < maxParallel && !pending.isEmpty()) {
        next();
    }
}

void ServerLatency::next()
{
    LatencyProbe* probe = makeProbe(this);
    ++running;
    connect(probe, &LatencyProbe::finished, this, [this, probe](const QString& address, int milliseconds) {
        probe->deleteLater();
        --running;
        if (milliseconds >= 0) {
            figures.insert(address, milliseconds);
        } else {
            figures.remove(address);
        }
        emit measured(address, milliseconds);
        if (!pending.isEmpty() && !tunnelActive && !lockEngaged) {
            next();
        } else if (running == 0) {
            pending.clear();
            emit roundFinished();
        }
    });
    probe->measure(pending.takeFirst(), tcpPort, timeoutMs);
}

qint32 ServerLatency::pickQuickest(const Servers& servers, const QHash<QString, int>& roundTrips)
{
    qint32 best = -1;
    double bestScore = std::numeric_limits<double>::max();
    bool anyFigure = false;
    for (const Server& server : servers) {
        anyFigure = anyFigure || roundTrips.value(server.ip, -1) >= 0;
    }
    for (const Server& server : servers) {
        // An unknown load counts as half.
        const double load = server.capacity < 0 ? 50 : qBound(0, server.capacity, 100);
        const int roundTrip = roundTrips.value(server.ip, -1);
        if (anyFigure && roundTrip < 0) {
            continue;
        }
        // A round trip under a millisecond still lets the load decide.
        const double score = anyFigure ? qMax(roundTrip, 1) * (1 + load / 50) : load;
        if (score < bestScore) {
            bestScore = score;
            best = server.id;
        }
    }
    return best;
}
