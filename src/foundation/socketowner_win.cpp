// The Windows side of the socket's owner: the TCP table's owning process and its token's user.
#include "socketowner.h"

#ifdef Q_OS_WIN

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>
#include <sddl.h>
// clang-format on
#include "tcptable.h"
#include "windowssid.h"

#include <vector>

namespace {

TcpTable::State stateOf(DWORD state)
{
    return state == MIB_TCP_STATE_LISTEN ? TcpTable::State::Listening
        : state == MIB_TCP_STATE_ESTAB   ? TcpTable::State::Established
                                         : TcpTable::State::Other;
}

// Both families of the system's TCP table with the owning processes.
std::vector<TcpTable::Row> tcpRows()
{
    std::vector<TcpTable::Row> rows;
    ULONG size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    // Room for connections made between the two calls.
    std::vector<char> table(size + 4096);
    size = ULONG(table.size());
    if (GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0) == NO_ERROR) {
        const auto* v4 = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
        for (DWORD i = 0; i < v4->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& row = v4->table[i];
            rows.push_back({ QHostAddress(ntohl(row.dwLocalAddr)), ntohs(u_short(row.dwLocalPort)),
                QHostAddress(ntohl(row.dwRemoteAddr)), ntohs(u_short(row.dwRemotePort)), stateOf(row.dwState),
                row.dwOwningPid });
        }
    }
    size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET6, TCP_TABLE_OWNER_PID_ALL, 0);
    table.assign(size + 4096, 0);
    size = ULONG(table.size());
    if (GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET6, TCP_TABLE_OWNER_PID_ALL, 0) == NO_ERROR) {
        const auto* v6 = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(table.data());
        for (DWORD i = 0; i < v6->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = v6->table[i];
            rows.push_back(
                { QHostAddress(row.ucLocalAddr), ntohs(u_short(row.dwLocalPort)), QHostAddress(row.ucRemoteAddr),
                    ntohs(u_short(row.dwRemotePort)), stateOf(row.dwState), row.dwOwningPid });
        }
    }
    return rows;
}

// The process owning the peer's end of the connection: the row whose own end is the peer's and
// whose other end is ours (the row the other way round is our own socket).
DWORD owningProcess(qintptr descriptor, QString* reason)
{
    sockaddr_in local = {};
    sockaddr_in peer = {};
    int length = sizeof(local);
    if (::getsockname(SOCKET(descriptor), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    length = sizeof(peer);
    if (::getpeername(SOCKET(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) != 0
        || peer.sin_family != AF_INET || (ntohl(peer.sin_addr.s_addr) >> 24) != 127) {
        return 0;
    }
    return TcpTable::connectionOwner(tcpRows(), QHostAddress(ntohl(peer.sin_addr.s_addr)), ntohs(peer.sin_port),
        QHostAddress(ntohl(local.sin_addr.s_addr)), ntohs(local.sin_port), reason);
}

// The SID of the user a process runs as, as text.
QString processUser(HANDLE process)
{
    return WindowsSid::userOf(process);
}

// The owner of the process PID (its user's SID); REASON where the table named none.
void ownedByProcess(SocketOwner& owner, DWORD pid, const QString& reason)
{
    owner.pid = pid;
    HANDLE process = pid != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : nullptr;
    owner.id = processUser(process);
    if (process != nullptr) {
        CloseHandle(process);
    }
    owner.known = !owner.id.isEmpty();
    if (!owner.known) {
        owner.reason = pid != 0 ? QStringLiteral("the user of process %1 is unknown").arg(pid) : reason;
    }
}

} // namespace

SocketOwner SocketOwner::ofPeer(qintptr descriptor)
{
    SocketOwner owner;
    QString reason = QStringLiteral("the owner of the peer's connection is unknown");
    const DWORD pid = owningProcess(descriptor, &reason);
    ownedByProcess(owner, pid, reason);
    return owner;
}

SocketOwner SocketOwner::ofListener(quint16 port)
{
    SocketOwner owner;
    QString reason;
    const DWORD pid = TcpTable::listenerOwner(tcpRows(), port, &reason);
    ownedByProcess(owner, pid, reason);
    return owner;
}

SocketOwner SocketOwner::ofConnection(quint16 localPort, quint16 peerPort)
{
    SocketOwner owner;
    QString reason;
    const QHostAddress loopback(QHostAddress::LocalHost);
    const DWORD pid = TcpTable::connectionOwner(tcpRows(), loopback, peerPort, loopback, localPort, &reason);
    ownedByProcess(owner, pid, reason);
    return owner;
}

SocketOwner SocketOwner::ofLocalPeer(qintptr descriptor)
{
    Q_UNUSED(descriptor)
    SocketOwner owner;
    owner.reason = QStringLiteral("the owner of a local socket is unknown on this system");
    return owner;
}

bool SocketOwner::isSystemOrSelf() const
{
    return known && (id == QLatin1String("S-1-5-18") || id == processUser(GetCurrentProcess()));
}

#endif
