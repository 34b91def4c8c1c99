#pragma once

#include "interfacedns.h"
#include "resolverconfig.h"

#include <QStringList>

#include <memory>

// The door to the system's resolvers for dns. Linux: systemd-resolved's links where it answers the
// host's names, /etc/resolv.conf otherwise. Windows: the interfaces' registry keys and the system's
// notice (interfacedns.h).
namespace ResolverChange {

// Points the resolvers at the request's servers ("vpn") or puts the user's back ("user").
// Returns why it failed, one text per failure; empty on success.
QStringList apply(const ResolverConfig::Request& request);

// The Windows side's registry and notice (defined there only: its tests run it under Wine).
std::unique_ptr<InterfaceDns::Registry> systemRegistry();

} // namespace ResolverChange
