#include "tunnelownership.h"

void TunnelOwnership::claim(const QString& user)
{
    owner = user;
}

void TunnelOwnership::release()
{
    owner.clear();
}

QString TunnelOwnership::heldAgainst(const PeerUser& user, const QList<ClientPointer>& clients) const
{
    if (owner.isEmpty() || owner == user.id || user.isRoot()) {
        return QString();
    }
    for (const ClientPointer& client : clients) {
        if (client->user.id == owner && !client->gone) {
            return owner;
        }
    }
    return QString();
}
