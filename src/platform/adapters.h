#pragma once

#include "platform/networkadapter.h"

#include <QObject>

class CommandRun;

// Finds the host's VPN adapters.
// Windows: the TAP adapters of the VPN driver, with their interface indexes, from the interface list
// "route print" shows; without one the client cannot make a tunnel.
// Linux: the kernel's TUN/TAP interfaces; OpenVPN makes its own interface, and whether TUN can be
// used is asked of the service, which opens it (TunnelCapability).
class AdapterDiscovery : public QObject
{
    Q_OBJECT

public:
    // How long discovery waits for the route listing.
    static constexpr int routeTimeoutMs = 30000;

    explicit AdapterDiscovery(QObject* parent = nullptr);

    // Starts rebuilding the adapter list; discovered() tells when it is done, from the event loop.
    // The GUI thread goes on meanwhile.
    void discover();
    bool isDiscovering() const;
    // Whether tunnels can be made: an adapter found (Windows); always on Linux, once discovered.
    bool isUsable() const;
    NetworkAdapters adapters() const;
    // The adapters found, or why there is none to use.
    void logAdapters() const;

    // Windows side: the TAP adapters of a route listing, in listing order.
    static NetworkAdapters parseRouteListing(const QString& listing);

#ifndef Q_OS_WIN
    // Linux side: the TUN/TAP interfaces of this network namespace, by index.
    static NetworkAdapters tunInterfaces();
#endif

signals:
    void discovered();

private:
    void finish(const NetworkAdapters& found, const QString& unusableReason);

    NetworkAdapters adapterList;
    // Why tunnels cannot be made; empty once discovery found the host able to.
    QString unusable = QStringLiteral("Adapters not discovered yet");
    CommandRun* routeRun = nullptr;
    bool pending = false;
    int timeoutMs = routeTimeoutMs;
};
