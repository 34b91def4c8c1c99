// The Windows side of the command line's socket: not offered yet. A named pipe would need its own
// access list and the client's check of the pipe's peer; until then the command line says so.
#include "remotesocket.h"

#ifdef Q_OS_WIN

namespace RemoteSocket {

namespace {

const QString notOffered = QStringLiteral("the command line is not available on Windows yet");

} // namespace

Place place()
{
    return Place { QString(), notOffered };
}

bool prepare(const Place& place, QString* error)
{
    Q_UNUSED(place)
    *error = notOffered;
    return false;
}

bool peerIsSelf(qintptr descriptor, QString* reason)
{
    Q_UNUSED(descriptor)
    *reason = notOffered;
    return false;
}

} // namespace RemoteSocket

#endif
