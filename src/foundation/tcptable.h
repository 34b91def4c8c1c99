#pragma once

#include <QHostAddress>
#include <QString>

#include <vector>

// Rows of the system's TCP table with their owning processes (Windows reports them), and the
// choice of the one row that answers a question: which process owns this connection's end, which
// one listens on this port. Kept apart from the system so that the choice is tested everywhere.
namespace TcpTable {

enum class State
{
    Listening,
    Established,
    Other
};

struct Row
{
    QHostAddress localAddress;
    quint16 localPort = 0;
    QHostAddress remoteAddress;
    quint16 remotePort = 0;
    State state = State::Other;
    // 0: the system names no process.
    quint32 pid = 0;
};

// The process owning the established connection whose own end is owner:ownerPort and whose other
// end is other:otherPort (an IPv4-mapped IPv6 row counts as its IPv4 addresses). 0, with *reason,
// when no row names a process or rows name different ones.
quint32 connectionOwner(const std::vector<Row>& rows, const QHostAddress& owner, quint16 ownerPort,
    const QHostAddress& other, quint16 otherPort, QString* reason);

// The process owning the IPv4 listener that takes connections to 127.0.0.1:port: one bound to
// 127.0.0.1 before one bound to every address, as the system delivers them. 0, with *reason, when
// none does or two processes claim the same place.
quint32 listenerOwner(const std::vector<Row>& rows, quint16 port, QString* reason);

} // namespace TcpTable
