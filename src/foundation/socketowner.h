#pragma once

#include <QString>
#include <QtGlobal>

// The account that owns the other end of a connected TCP socket on 127.0.0.1, as the kernel's own
// socket table says: never what the peer says of itself, never a scan of processes.
struct SocketOwner
{
    // Whether the kernel named an owner at all.
    bool known = false;
    // Linux: the uid owning the peer's socket; -1 where users are not numbers (Windows).
    qint64 uid = -1;
    // Windows: the process owning the peer's socket.
    quint32 pid = 0;
    // Compares accounts: "uid N" on Linux, the account's SID on Windows.
    QString id;
    // Why the owner is unknown.
    QString reason;

    static SocketOwner ofPeer(qintptr descriptor);
    // The account of the listener that takes TCP connections to 127.0.0.1:port, asked of the
    // kernel without connecting; unknown when nothing listens.
    static SocketOwner ofListener(quint16 port);
    // The owner of the socket at 127.0.0.1:peerPort that is connected to this process's
    // 127.0.0.1:localPort (the kernel's established connection, asked by its four numbers).
    static SocketOwner ofConnection(quint16 localPort, quint16 peerPort);
    // The same for a connected Unix socket (Linux: the peer's credentials as the kernel took them
    // when it connected); unknown elsewhere.
    static SocketOwner ofLocalPeer(qintptr descriptor);

    // The system's own account (root, LocalSystem), which the service and its OpenVPN run as, or the
    // account of this process, which can read everything this process knows anyway.
    bool isSystemOrSelf() const;
};
