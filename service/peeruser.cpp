#include "peeruser.h"

QString PeerUser::groupName()
{
    return QStringLiteral("korvexvpn");
}

bool PeerUser::isRoot() const
{
    return known && id == rootId();
}

bool AuthorizationCache::mayCommand(const SocketOwner& account, QString* name, QString* reason)
{
    auto found = entries.find(account.id);
    if (found == entries.end() || found->looked.elapsed() > keepMs) {
        if (entries.size() >= maxEntries) {
            entries.clear();
        }
        Entry entry;
        entry.allowed = PeerUser::accountMayCommand(account, &entry.name, &entry.reason);
        entry.looked.start();
        found = entries.insert(account.id, entry);
    }
    *name = found->name;
    *reason = found->reason;
    return found->allowed;
}

PeerUser PeerUser::ofConnection(qintptr descriptor, AuthorizationCache* cache)
{
    PeerUser user;
    static_cast<SocketOwner&>(user) = SocketOwner::ofPeer(descriptor);
    if (!user.known) {
        return user;
    }
    user.authorized = connectionMayCommand(user, cache, &user.name, &user.reason);
    return user;
}
