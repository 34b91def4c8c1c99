#pragma once

#include <QString>
#include <QtGlobal>

// The door to the system's sockets for the service's listener: descriptors (Linux) or SOCKETs
// (Windows) as qintptr, never blocking, never inherited by the programs the service runs.
namespace ListenSocket {

// The listener the system's service manager holds for the service across its restarts (systemd's
// socket unit on Linux): -1 when there is none, -2 when what was passed is not a listener on
// 127.0.0.1:port. Windows: none, the service binds its port itself.
qintptr inherited(quint16 port);

// A new listener on 127.0.0.1:port that no other program can take over; -1 and *error on failure.
qintptr open(quint16 port, int backlog, QString* error);

// The next waiting connection; -1 when there is none (*wouldBlock) or accepting failed (*error).
qintptr accept(qintptr listener, bool* wouldBlock, QString* error);

// Keeps an accepted connection from the programs the service starts.
void makeCloseOnExec(qintptr socket);

void close(qintptr socket);

} // namespace ListenSocket
