#pragma once

#include "killswitchrules.h"

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <QVector>

// The network lock on the Windows filtering platform, as plain data: the Windows side of the door
// (networklock_win.cpp) only translates these rows into the platform's structures.
//
// Each of the three sets (the lock, the tunnel guard, lockdown) is a persistent sublayer of its own.
// Inside one sublayer the heaviest matching filter decides; across sublayers a block wins over a
// permit, so the sets add up as the nftables tables do. Our blocks clear the action right (nothing
// of another sublayer opens what they close); our permits do not (another set still closes them).
namespace WfpFilters {

enum class Layer
{
    ConnectV4, // the machine's own connections going out
    ConnectV6,
    RecvAcceptV4, // connections and datagrams coming in
    RecvAcceptV6
};

enum class Action
{
    Permit,
    Block
};

enum class Field
{
    Loopback, // the connection's flags say loopback
    LocalInterface, // the interface's LUID (value.low)
    RemoteAddress, // address bytes (4 or 16) and prefix length
    RemotePort, // low..high
    LocalPort, // low..high
    Protocol, // low..high
    IcmpType // low..high (the platform keeps it in the local port's place)
};

// Conditions of one field match when any of them does; conditions of different fields must all match.
struct Condition
{
    Field field = Field::Loopback;
    QByteArray address;
    int prefix = 0;
    quint64 low = 0;
    quint64 high = 0;

    bool operator==(const Condition& other) const;
};

struct Filter
{
    QUuid key;
    Layer layer = Layer::ConnectV4;
    Action action = Action::Block;
    quint8 weight = 0; // within the sublayer, 0..15
    QVector<Condition> conditions;
    QString name;
};

struct Set
{
    QString error; // why the set cannot be made; then there are no filters
    QVector<Filter> filters;
};

// The fixed key of a scope's sublayer (none for Everything).
QUuid sublayerKey(KillSwitchRules::Request::Scope scope);
// Every sublayer the request replaces or removes.
QVector<KillSwitchRules::Request::Scope> scopes(const KillSwitchRules::Request& request);

// The filters of an "enable" request (none for "disable"). tunnelInterfaces: the LUIDs of the
// tunnel's adapters. The lock and the tunnel guard without a server are refused rather than made
// into a lock that lets nothing reach the server, or into no lock at all.
Set filters(const KillSwitchRules::Request& request, const QVector<quint64>& tunnelInterfaces);

// What a filter read back from the platform must still show.
struct Footprint
{
    QUuid key;
    Layer layer = Layer::ConnectV4;
    Action action = Action::Block;
    int conditions = 0;

    bool operator==(const Footprint& other) const;
};
Footprint footprint(const Filter& filter);

// Compares what a sublayer holds after the commit with what was written; empty when they agree.
// A platform that accepts filters without keeping them must not pass for a lock in place.
QString verify(const QVector<Filter>& written, const QVector<Footprint>& held);

} // namespace WfpFilters
