#pragma once

#include <QString>
#include <QtGlobal>

// The local socket on which the running client takes the command line's requests: where it is,
// made safe to listen on, and who is at the other end.
// Linux: $XDG_RUNTIME_DIR/korvex/control, in a folder of the user's own with mode 0700; a peer counts
// only when the kernel names this process's own uid as its owner (SO_PEERCRED), root included in
// "another user".
// Windows: not offered yet; every call says so.
namespace RemoteSocket {

struct Place
{
    // The name to listen on and connect to; empty when there is none, with the reason.
    QString name;
    QString error;
};

Place place();
// For the listening side: the folder made (or checked) the user's own, mode 0700, no link.
bool prepare(const Place& place, QString* error);
// The other end of a connected local socket runs as this process's user, as the kernel says.
bool peerIsSelf(qintptr descriptor, QString* reason);

} // namespace RemoteSocket
