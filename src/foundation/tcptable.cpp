#include "tcptable.h"

namespace TcpTable {

namespace {

bool same(const QHostAddress& row, const QHostAddress& wanted)
{
    return row.isEqual(wanted, QHostAddress::ConvertV4MappedToIPv4);
}

// The one process the rows name; 0 when none or more than one.
quint32 onlyProcess(const std::vector<const Row*>& matches, const QString& what, QString* reason)
{
    if (matches.empty()) {
        *reason = QStringLiteral("the system's TCP table has no %1").arg(what);
        return 0;
    }
    const quint32 pid = matches.front()->pid;
    for (const Row* row : matches) {
        if (row->pid != pid) {
            *reason = QStringLiteral("the system's TCP table names processes %1 and %2 for %3")
                          .arg(pid)
                          .arg(row->pid)
                          .arg(what);
            return 0;
        }
    }
    if (pid == 0) {
        *reason = QStringLiteral("the system's TCP table names no process for %1").arg(what);
    }
    return pid;
}

} // namespace

quint32 connectionOwner(const std::vector<Row>& rows, const QHostAddress& owner, quint16 ownerPort,
    const QHostAddress& other, quint16 otherPort, QString* reason)
{
    std::vector<const Row*> matches;
    for (const Row& row : rows) {
        if (row.state == State::Established && row.localPort == ownerPort && row.remotePort == otherPort
            && same(row.localAddress, owner) && same(row.remoteAddress, other)) {
            matches.push_back(&row);
        }
    }
    return onlyProcess(matches,
        QStringLiteral("connection %1:%2 to %3:%4")
            .arg(owner.toString())
            .arg(ownerPort)
            .arg(other.toString())
            .arg(otherPort),
        reason);
}

quint32 listenerOwner(const std::vector<Row>& rows, quint16 port, QString* reason)
{
    // The system hands a connection to 127.0.0.1 to the listener bound there, else to one bound to
    // every address.
    for (const QHostAddress& place : { QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::AnyIPv4) }) {
        std::vector<const Row*> matches;
        for (const Row& row : rows) {
            if (row.state == State::Listening && row.localPort == port
                && row.localAddress.protocol() == QAbstractSocket::IPv4Protocol && row.localAddress == place) {
                matches.push_back(&row);
            }
        }
        if (!matches.empty()) {
            return onlyProcess(matches, QStringLiteral("listener on %1:%2").arg(place.toString()).arg(port), reason);
        }
    }
    *reason = QStringLiteral("nothing listens on 127.0.0.1:%1").arg(port);
    return 0;
}

} // namespace TcpTable
