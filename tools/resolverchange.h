#pragma once

#include "resolverconfig.h"

#include <QStringList>

// The door to the system's resolvers for dns. Linux: systemd-resolved's links where it answers the
// host's names, /etc/resolv.conf otherwise. Windows: the interfaces' registry keys, not built yet,
// so every request is refused there.
namespace ResolverChange {

// Points the resolvers at the request's servers ("vpn") or puts the user's back ("user").
// Returns why it failed, one text per failure; empty on success.
QStringList apply(const ResolverConfig::Request& request);

} // namespace ResolverChange
