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
#include <vector>

namespace {

// The process owning the established connection whose own end is owner:ownerPort and whose other end
// is other:otherPort (addresses and ports in network order), from the TCP table.
DWORD connectionProcess(ULONG owner, u_short ownerPort, ULONG other, u_short otherPort)
{
    ULONG size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    std::vector<char> table(size);
    if (GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0) != NO_ERROR) {
        return 0;
    }
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = rows->table[i];
        if (row.dwState == MIB_TCP_STATE_ESTAB && row.dwLocalAddr == owner && u_short(row.dwLocalPort) == ownerPort
            && row.dwRemoteAddr == other && u_short(row.dwRemotePort) == otherPort) {
            return row.dwOwningPid;
        }
    }
    return 0;
}

// The process owning the peer's end of the connection.
DWORD owningProcess(qintptr descriptor)
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
    return connectionProcess(peer.sin_addr.s_addr, peer.sin_port, local.sin_addr.s_addr, local.sin_port);
}

// The process owning the loopback socket at peerPort connected to our localPort.
DWORD connectedProcess(quint16 localPort, quint16 peerPort)
{
    return connectionProcess(htonl(INADDR_LOOPBACK), htons(peerPort), htonl(INADDR_LOOPBACK), htons(localPort));
}

// The process owning the listener that takes connections to 127.0.0.1:port.
DWORD listeningProcess(quint16 port)
{
    ULONG size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
    std::vector<char> table(size);
    if (GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR) {
        return 0;
    }
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = rows->table[i];
        if (u_short(row.dwLocalPort) == htons(port)
            && (row.dwLocalAddr == htonl(INADDR_LOOPBACK) || row.dwLocalAddr == INADDR_ANY)) {
            return row.dwOwningPid;
        }
    }
    return 0;
}

// The SID of the user a process runs as, as text.
QString processUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (process == nullptr || !OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return QString();
    }
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<char> tokenUser(needed);
    LPWSTR sidText = nullptr;
    QString sid;
    if (needed > 0 && GetTokenInformation(token, TokenUser, tokenUser.data(), needed, &needed)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid, &sidText)) {
        sid = QString::fromWCharArray(sidText);
        LocalFree(sidText);
    }
    CloseHandle(token);
    return sid;
}

// The owner of the process PID (its user's SID); REASON where none is known.
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
        owner.reason = reason;
    }
}

} // namespace

SocketOwner SocketOwner::ofPeer(qintptr descriptor)
{
    SocketOwner owner;
    ownedByProcess(owner, owningProcess(descriptor), QStringLiteral("the owner of the peer's connection is unknown"));
    return owner;
}

SocketOwner SocketOwner::ofListener(quint16 port)
{
    SocketOwner owner;
    ownedByProcess(owner, listeningProcess(port), QStringLiteral("nothing known listens on 127.0.0.1:%1").arg(port));
    return owner;
}

SocketOwner SocketOwner::ofConnection(quint16 localPort, quint16 peerPort)
{
    SocketOwner owner;
    ownedByProcess(owner, connectedProcess(localPort, peerPort),
        QStringLiteral("the owner of 127.0.0.1:%1 connected to us is unknown").arg(peerPort));
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
