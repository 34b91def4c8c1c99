#pragma once

#include "commandscheduler.h"

#include <QList>
#include <QString>

// The tunnel, the network lock and the resolvers belong to the user whose command really started
// OpenVPN: while a client of that user is connected, other users' commands that change them are
// refused. Root's never are: root can always end another user's tunnel and lift the lock. A fresh
// client's "init: connection" puts the machine back in its clean state, owned by nobody.
class TunnelOwnership
{
public:
    // A run of OpenVPN started for this user.
    void claim(const QString& user);
    void release();
    // The owner, when it is not this user and a client of the owner is connected; else empty.
    QString heldAgainst(const PeerUser& user, const QList<ClientPointer>& clients) const;

private:
    // User id of the owner; empty in the clean state.
    QString owner;
};
