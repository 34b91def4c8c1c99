#pragma once

#include "networkadapter.h"

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

    // Rebuilds the adapter list from a fresh route listing.
    void discover();
    bool isEmpty() const;
    NetworkAdapters adapters() const;
    void logAdapters() const;

    // The TAP adapters of a route listing, in listing order.
    static NetworkAdapters parseRouteListing(const QString& listing);

    void setRouteTimeoutMs(int ms);

private:
    NetworkAdapters adapterList;
    int timeoutMs = routeTimeoutMs;
};
