#pragma once

#include "foundation/socketowner.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QtGlobal>

// What the user database said about a uid, for a moment: a burst of connections of one user costs
// one lookup, not one each.
class AuthorizationCache
{
public:
    bool mayCommand(qint64 uid, QString* name, QString* reason);

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
    QHash<qint64, Entry> entries;
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
    // The system's side of the door (peeruser_linux.cpp, peeruser_win.cpp). Linux: root, or a member
    // of the group (primary or supplementary, as the user database says now). Windows: nobody yet,
    // until the token's groups are checked there.
    static bool mayCommand(qint64 uid, QString* name, QString* reason);

    static QString groupName();
    // Root (LocalSystem on Windows), whom the service never refuses for another user's sake.
    bool isRoot() const;
    static QString rootId();
};
