#pragma once

#include "connection/dnsmanager.h"
#include "service/serviceprocess.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class ServiceLink;

// Switches the host's resolvers to the tunnel's and back, through the DNS tool in the service. The
// user's resolvers are read when the user connects, while OpenVPN starts, and nothing touches the
// resolvers before they are known; the tunnel's are the servers pushed in the current session only.
class ResolverSwitch : public QObject
{
    Q_OBJECT

public:
    explicit ResolverSwitch(ServiceLink* link, QObject* parent = nullptr);

    // Reads the user's resolvers afresh: an automatic reconnection keeps those read at the user's
    // connect, as the tunnel's servers may still be in place while it starts.
    void readUserResolvers();
    // The servers the tunnel pushed in this session; an empty family is none.
    void setPushed(const QString& ipv4, const QString& ipv6);
    void forgetPushed();
    // The tunnel is up: its pushed servers on every connection (none pushed: resolvers left alone).
    void useTunnel();
    // The tunnel is down: the user's resolvers back.
    void restoreUser();

private:
    // Runs the step once the user's resolvers are known: at once, or when the query of the connect
    // that is under way ends. Only the latest step waits; each sets all resolvers.
    void whenUserDnsKnown(std::function<void()> step);
    void onUserDnsRefreshed();

    DnsManager dnsManager;
    ServiceProcess dnsToolProcess;
    QString pushedIpv4;
    QString pushedIpv6;
    QStringList userDnsSettings;
    std::function<void()> afterUserDns;
};
