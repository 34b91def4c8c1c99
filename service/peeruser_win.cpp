// The Windows side of the peer's authorization. Who owns the peer's connection is known (the TCP
// table's process and its token), but the check of the token's groups is not built yet: until it is,
// every peer is refused, so that nobody commands the service unchecked.
#include "peeruser.h"

#ifdef Q_OS_WIN

QString PeerUser::rootId()
{
    return QStringLiteral("S-1-5-18");
}

bool PeerUser::mayCommand(qint64 uid, QString* name, QString* reason)
{
    Q_UNUSED(uid)
    name->clear();
    *reason = QStringLiteral("authorizing a peer is not available on this system");
    return false;
}

#endif
