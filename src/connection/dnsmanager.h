#pragma once

#include "platform/resolvers.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

// Turns the user's resolvers into the entries of the DNS tool. It changes nothing itself.
class DnsManager : public QObject
{
    Q_OBJECT

public:
    explicit DnsManager(QObject* parent = nullptr);

    // Starts reading the connections afresh: the GUID query runs while the GUI thread goes on, and
    // refreshed() tells when the list is new. A refresh under way serves a second call.
    void refresh();
    bool isRefreshing() const;
    // "GUID@servers" per connection: the settings to restore when the tunnel goes down.
    QStringList userDnsSettings() const;
    // "GUID@V4,V6" per connection: the tunnel's servers on every connection.
    QStringList vpnDnsSettings(const QString& ipv4Dns, const QString& ipv6Dns) const;

    static QString dnsToolPath();

    // Takes a fresh list of the user's connections, logs it and tells refreshed().
    void useConnections(const NetworkInterfaceList& connections);
    void logInterfaces() const;

signals:
    void refreshed();

private:
    NetworkInterfaceList interfaceList;
    UserResolvers resolvers;
};
