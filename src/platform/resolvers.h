#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#ifdef Q_OS_WIN
#include "foundation/commandrun.h"
#endif

// One network connection of the machine with its static DNS servers, as the dns tool names it.
struct NetworkInterface
{
    NetworkInterface(
        const QString& id, const QString& name, const QStringList& ipv4DnsServers, const QStringList& ipv6DnsServers);

    QStringList ipv4DnsServers;
    QStringList ipv6DnsServers;
    QString id;
    QString name;
    bool vpnConnection = false;
};

using NetworkInterfaceList = QList<NetworkInterface>;

// The user's own resolvers: what the dns tool is to put back when the tunnel goes down.
// Windows: every connection whose adapter is present (GUIDs from "wmic nic"), with the static DNS
// servers the registry holds for it.
// Linux: one entry for the system's resolver; the dns tool keeps the user's configuration itself
// while the tunnel's is in place, so the entry only names it.
class UserResolvers : public QObject
{
    Q_OBJECT

public:
    // How long the GUID query may take.
    static constexpr int wmicTimeoutMs = 30000;

    explicit UserResolvers(QObject* parent = nullptr);

    // Starts reading the connections afresh; refreshed() tells, from the event loop, when the list
    // is new. A refresh under way serves a second call.
    void refresh();
    bool isRefreshing() const;
    NetworkInterfaceList connections() const;

    // Windows side, built everywhere and read through the registry door, so that it is tested
    // against recorded registry data.
    // The connections of the registry whose adapters are present (their GUIDs known); none when
    // the IPv4 and IPv6 lists disagree.
    static NetworkInterfaceList readConnections(const QSet<QString>& knownGuids);
    static QString connectionName(const QString& guid);
    // Upper-case GUIDs of a "wmic nic where ... get GUID" answer.
    static QSet<QString> parseGuids(const QString& wmicOutput);

#ifndef Q_OS_WIN
    // The id of the system's resolver in the dns tool's entries.
    static const QString systemResolverId;
#endif

signals:
    void refreshed();

private:
    NetworkInterfaceList list;
#ifdef Q_OS_WIN
    CommandRun guidQuery;
#else
    bool pending = false;
#endif
};
