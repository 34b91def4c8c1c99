#pragma once

#include "foundation/socketowner.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QtGlobal>

// What the account database said about an account, for a moment: a burst of connections of one
// user costs one lookup, not one each.
class AuthorizationCache
{
public:
    // PeerUser::accountMayCommand, kept by the account's id.
    bool mayCommand(const SocketOwner& account, QString* name, QString* reason);

    static constexpr qint64 keepMs = 2000;
    static constexpr int maxEntries = 256;

private:
    struct Entry
    {
        QElapsedTimer looked;
        bool allowed = false;
        QString name;
        QString reason;
    };
    QHash<QString, Entry> entries;
};

// The user at the other end of a loopback TCP connection to the service, as the kernel knows it
// (the owner of the peer's socket), and whether that user may command the service: root and the
// members of one group. Never derived from what the peer says or from scanning processes. The
// reason also says why a known peer is refused.
struct PeerUser : SocketOwner
{
    // For the log only; escaped there like any text a user can choose.
    QString name;
    bool authorized = false;

    // descriptor: the service's end of an accepted connection on 127.0.0.1.
    static PeerUser ofConnection(qintptr descriptor, AuthorizationCache* cache);

    // The system's sides of the door (peeruser_linux.cpp, peeruser_win.cpp).
    // Whether the owner of a new connection may command the service. Linux: the account's standing.
    // Windows: the owning process's token (TokenStanding: LocalSystem, the service's own account, or
    // the local group enabled), and for a member also the account database now.
    static bool connectionMayCommand(
        const SocketOwner& owner, AuthorizationCache* cache, QString* name, QString* reason);
    // Whether the account may command the service as the account database says now (asked again for
    // every command). Linux: root, or a member of the group, primary or supplementary. Windows:
    // LocalSystem, the service's own account, or a member of the local group, also through another
    // group.
    static bool accountMayCommand(const SocketOwner& account, QString* name, QString* reason);

    static QString groupName();
    // Root (LocalSystem on Windows), whom the service never refuses for another user's sake.
    bool isRoot() const;
    static QString rootId();
};
