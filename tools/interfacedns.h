#pragma once

#include "resolverconfig.h"

#include <QString>
#include <QStringList>

#include <optional>

// The dns tool on Windows: each listed interface's DNS servers are the "NameServer" values of its
// keys under Tcpip (IPv4) and Tcpip6 (IPv6). Before the first change the user's values are saved in
// a key of our own, which survives a crash; "user" puts every saved interface back (and an entry's
// list where nothing was saved) and forgets the copy. A second "vpn" keeps the first copy: by then
// the interface holds the tunnel's servers, which must never pass for the user's.
namespace InterfaceDns {

// The registry below HKEY_LOCAL_MACHINE and the system's notice of a changed interface.
class Registry
{
public:
    virtual ~Registry() = default;
    virtual bool keyExists(const QString& key) = 0;
    // The value's text, nothing when it is absent; *error when it cannot be read as text.
    virtual std::optional<QString> value(const QString& key, const QString& name, QString* error) = 0;
    // Each returns why it failed, empty on success.
    virtual QString setValue(const QString& key, const QString& name, const QString& text) = 0; // makes the key
    virtual QString removeValue(const QString& key, const QString& name) = 0; // an absent one too
    virtual QStringList subkeys(const QString& key) = 0;
    virtual QString removeKey(const QString& key) = 0; // with its values; an absent one too
    // Tells the system to take the interface's new servers into use.
    virtual QString notify(const QString& guid) = 0;
};

// The keys, with the GUID as given.
QString interfaceKey(const QString& guid, bool ipv6);
QString savedKey(const QString& guid);
extern const QString nameServer;

// Carries out the request; one text per failure, empty on success.
QStringList apply(const ResolverConfig::Request& request, Registry* registry);

} // namespace InterfaceDns
