#pragma once

#include "foundation/commandrun.h"
#include "platform/networkadapter.h"

#include <QObject>

// Finds the TAP adapters of the VPN driver, with their interface indexes, in the interface list
// that "route print" shows.
class NetworkInterfaces : public QObject
{
    Q_OBJECT

public:
    // How long discovery waits for the route listing.
    static constexpr int routeTimeoutMs = 30000;

    explicit NetworkInterfaces(QObject* parent = nullptr);

    // Starts rebuilding the adapter list from a fresh route listing; discovered() tells when it is
    // done. The GUI thread goes on meanwhile.
    void discover();
    bool isDiscovering() const;
    bool isEmpty() const;
    NetworkAdapters adapters() const;
    void logAdapters() const;

    // The TAP adapters of a route listing, in listing order.
    static NetworkAdapters parseRouteListing(const QString& listing);

    void setRouteTimeoutMs(int ms);

signals:
    void discovered();

private:
    NetworkAdapters adapterList;
    CommandRun* routeRun = nullptr;
    int timeoutMs = routeTimeoutMs;
};
