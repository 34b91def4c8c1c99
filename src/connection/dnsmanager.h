#pragma once

#include "foundation/childprocess.h"
#include "foundation/commandrun.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

// One network connection of the machine with its static DNS servers.
struct NetworkInterface
{
    NetworkInterface(
        const QString& id, const QString& name, const QStringList& ipv4DnsServers, const QStringList& ipv6DnsServers);

    // Marks the connection as the VPN driver's when a TAP adapter carries its GUID.
    void detectVpnConnection();

    QStringList ipv4DnsServers;
    QStringList ipv6DnsServers;
    QString id;
    QString name;
    bool vpnConnection = false;
};

using NetworkInterfaceList = QList<NetworkInterface>;

// Reads every network connection's static DNS servers from the registry and turns them into the
// entries of the DNS tool. It changes nothing itself.
class DnsManager : public QObject
{
    Q_OBJECT

public:
    enum class Family
    {
        IPv4,
        IPv6
    };

    // How long the GUID query may take.
    static constexpr int wmicTimeoutMs = 30000;

    explicit DnsManager(QObject* parent = nullptr);

    // Starts reading the connections afresh: the GUID query runs while the GUI thread goes on, and
    // refreshed() tells when the list is new. A refresh under way serves a second call.
    void refresh();
    bool isRefreshing() const;
    // "GUID@servers" per connection: the settings to restore when the tunnel goes down.
    QStringList userDnsSettings() const;
    // "GUID@V4,V6" per connection: the tunnel's servers on every connection.
    QStringList vpnDnsSettings(const QString& ipv4Dns, const QString& ipv6Dns) const;
    NetworkInterfaceList interfaces() const;

    static QString dnsToolPath();

    // The connections of the registry whose adapters are present (their GUIDs known).
    void readInterfaces(const QSet<QString>& knownGuids);
    void logInterfaces() const;

    static NetworkInterfaceList readDnsServers(
        const QString& interfacesKey, const QSet<QString>& knownGuids, Family family);
    static QString connectionName(const QString& guid);
    // Upper-case GUIDs of a "wmic nic where ... get GUID" answer.
    static QSet<QString> parseGuids(const QString& wmicOutput);

signals:
    void refreshed();

protected slots:
    void onProcessFinished(bool success);

private:
    NetworkInterfaceList interfaceList;
    CommandRun guidQuery;
    // A runner for the owner's use; its outcome goes to the log.
    ChildProcess childProcess;
};
