#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// Finds the processes at the other end of a loopback TCP connection: the owners of the peer's
// socket, and the executable each of them runs.
class PeerProcess
{
public:
    struct Owner
    {
        qint64 pid = 0;
        QString executable;
        // The user it acts as (effective uid); -1 when unknown. Windows would keep the TokenUser
        // SID of the process token here instead.
        qint64 uid = -1;
    };

    // peer: the far end as this process sees it; local: this process's end.
    static QList<Owner> owners(
        const QHostAddress& peerAddress, quint16 peerPort, const QHostAddress& localAddress, quint16 localPort);

    // The executable as the system reports it for a running process (symbolic links resolved).
    static QString canonicalExecutable(const QString& path);

    static bool samePath(const QString& a, const QString& b);
};
