#include "peeruser.h"

#ifdef Q_OS_LINUX
#include <arpa/inet.h>
#include <grp.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>
#endif

#ifdef Q_OS_WIN
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>
#include <sddl.h>
#include <lm.h>
// clang-format on
#include <vector>
#endif

namespace {

#ifdef Q_OS_LINUX

constexpr int netlinkWaitMs = 200;

struct Endpoints
{
    sockaddr_in local = {};
    sockaddr_in peer = {};
};

bool endpoints(int descriptor, Endpoints* ends)
{
    socklen_t length = sizeof(ends->local);
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&ends->local), &length) != 0
        || ends->local.sin_family != AF_INET) {
        return false;
    }
    length = sizeof(ends->peer);
    return ::getpeername(descriptor, reinterpret_cast<sockaddr*>(&ends->peer), &length) == 0
        && ends->peer.sin_family == AF_INET;
}

// One exact lookup through sock_diag: the TCP socket whose own end is the peer's address and
// whose far end is ours, that is the peer's socket. The kernel answers from its socket table, so
// the answer costs the same whatever other users do.
bool socketOwner(const Endpoints& ends, qint64* uid, QString* reason)
{
    const int link = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (link < 0) {
        *reason = QStringLiteral("no sock_diag socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    timeval wait = { 0, netlinkWaitMs * 1000 };
    ::setsockopt(link, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));

    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message = {};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = 1;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    message.request.id.idiag_sport = ends.peer.sin_port;
    message.request.id.idiag_dport = ends.local.sin_port;
    message.request.id.idiag_src[0] = ends.peer.sin_addr.s_addr;
    message.request.id.idiag_dst[0] = ends.local.sin_addr.s_addr;
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;

    bool found = false;
    *reason = QStringLiteral("the kernel does not know the peer's socket");
    if (::sendto(link, &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) < 0) {
        *reason = QStringLiteral("sock_diag request failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    } else {
        std::vector<char> buffer(8192);
        const ssize_t got = ::recv(link, buffer.data(), buffer.size(), 0);
        const auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data());
        if (got >= static_cast<ssize_t>(sizeof(nlmsghdr)) && NLMSG_OK(header, static_cast<unsigned>(got))
            && header->nlmsg_type == SOCK_DIAG_BY_FAMILY && header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            const auto* answer = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            // Only the live connection itself: a listener or a closing socket that the lookup
            // might find instead says nothing about who is talking to us.
            const bool same = answer->id.idiag_sport == ends.peer.sin_port
                && answer->id.idiag_dport == ends.local.sin_port && answer->id.idiag_src[0] == ends.peer.sin_addr.s_addr
                && answer->id.idiag_dst[0] == ends.local.sin_addr.s_addr;
            if (!same || answer->idiag_state != TCP_ESTABLISHED) {
                *reason = QStringLiteral("the peer's socket is not an established connection to the service");
            } else {
                *uid = answer->idiag_uid;
                found = true;
            }
        }
    }
    ::close(link);
    return found;
}

#endif

#ifdef Q_OS_WIN

// The owning process of the peer's end from the TCP table, and the user of that process's token.
bool windowsOwner(qintptr descriptor, PeerUser* user)
{
    sockaddr_in local = {};
    sockaddr_in peer = {};
    int length = sizeof(local);
    if (::getsockname(SOCKET(descriptor), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return false;
    }
    length = sizeof(peer);
    if (::getpeername(SOCKET(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return false;
    }
    ULONG size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    std::vector<char> table(size);
    if (GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0) != NO_ERROR) {
        return false;
    }
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    DWORD pid = 0;
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = rows->table[i];
        if (row.dwState == MIB_TCP_STATE_ESTAB && row.dwLocalAddr == peer.sin_addr.s_addr
            && u_short(row.dwLocalPort) == peer.sin_port && row.dwRemoteAddr == local.sin_addr.s_addr
            && u_short(row.dwRemotePort) == local.sin_port) {
            pid = row.dwOwningPid;
        }
    }
    HANDLE process = pid != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : nullptr;
    HANDLE token = nullptr;
    if (process == nullptr || !OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
        if (process != nullptr) {
            CloseHandle(process);
        }
        return false;
    }
    CloseHandle(process);
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<char> tokenUser(needed);
    LPWSTR sidText = nullptr;
    bool ok = needed > 0 && GetTokenInformation(token, TokenUser, tokenUser.data(), needed, &needed)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid, &sidText);
    if (ok) {
        user->known = true;
        user->id = QString::fromWCharArray(sidText);
        LocalFree(sidText);
        // Membership as the token carries it: LocalSystem, the Administrators group, or the
        // service's local group.
        HANDLE impersonation = nullptr;
        if (DuplicateToken(token, SecurityIdentification, &impersonation)) {
            BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
            DWORD sidSize = sizeof(sidBuffer);
            BOOL member = FALSE;
            const PSID owner = reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid;
            if (CreateWellKnownSid(WinLocalSystemSid, nullptr, sidBuffer, &sidSize) && EqualSid(owner, sidBuffer)) {
                member = TRUE;
            }
            sidSize = sizeof(sidBuffer);
            if (!member && CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBuffer, &sidSize)) {
                CheckTokenMembership(impersonation, sidBuffer, &member);
            }
            BYTE groupSid[SECURITY_MAX_SID_SIZE];
            DWORD groupSidSize = sizeof(groupSid);
            wchar_t domain[256];
            DWORD domainSize = 256;
            SID_NAME_USE use;
            const std::wstring group = PeerUser::groupName().toStdWString();
            if (!member
                && LookupAccountNameW(nullptr, group.c_str(), groupSid, &groupSidSize, domain, &domainSize, &use)) {
                CheckTokenMembership(impersonation, groupSid, &member);
            }
            user->authorized = member == TRUE;
            CloseHandle(impersonation);
        }
        wchar_t name[256];
        DWORD nameSize = 256;
        wchar_t domain[256];
        DWORD domainSize = 256;
        SID_NAME_USE use;
        if (LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid, name, &nameSize,
                domain, &domainSize, &use)) {
            user->name = QString::fromWCharArray(domain) + QLatin1Char('\\') + QString::fromWCharArray(name);
        }
    }
    CloseHandle(token);
    return ok;
}

#endif

} // namespace

QString PeerUser::groupName()
{
    return QStringLiteral("korvexvpn");
}

bool PeerUser::mayCommand(qint64 uid, QString* name, QString* reason)
{
#ifdef Q_OS_LINUX
    if (uid < 0) {
        *reason = QStringLiteral("unknown user");
        return false;
    }
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(bufferSize > 0 ? qMax(bufferSize, 16384L) : 16384L));
    passwd entry = {};
    passwd* found = nullptr;
    ::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found);
    *name = found != nullptr ? QString::fromLocal8Bit(found->pw_name) : QString();
    if (uid == 0) {
        return true;
    }
    if (found == nullptr) {
        *reason = QStringLiteral("uid %1 has no account").arg(uid);
        return false;
    }
    group groupEntry = {};
    group* groupFound = nullptr;
    std::vector<char> groupBuffer(16384);
    const QByteArray group = groupName().toLatin1();
    ::getgrnam_r(group.constData(), &groupEntry, groupBuffer.data(), groupBuffer.size(), &groupFound);
    if (groupFound == nullptr) {
        *reason = QStringLiteral("the group %1 does not exist").arg(groupName());
        return false;
    }
    const gid_t allowed = groupFound->gr_gid;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(qBound(1, count, 65536)));
        count = static_cast<int>(groups.size());
        ::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count);
    }
    for (int i = 0; i < qMin(count, static_cast<int>(groups.size())); ++i) {
        if (groups[static_cast<size_t>(i)] == allowed) {
            return true;
        }
    }
    *reason = QStringLiteral("neither root nor a member of %1").arg(groupName());
    return false;
#else
    Q_UNUSED(uid)
    Q_UNUSED(name)
    *reason = QStringLiteral("users are not numbers on this system");
    return false;
#endif
}

bool AuthorizationCache::mayCommand(qint64 uid, QString* name, QString* reason)
{
    auto found = entries.find(uid);
    if (found == entries.end() || found->looked.elapsed() > keepMs) {
        if (entries.size() >= maxEntries) {
            entries.clear();
        }
        Entry entry;
        entry.allowed = PeerUser::mayCommand(uid, &entry.name, &entry.reason);
        entry.looked.start();
        found = entries.insert(uid, entry);
    }
    *name = found->name;
    *reason = found->reason;
    return found->allowed;
}

PeerUser PeerUser::ofConnection(qintptr descriptor, AuthorizationCache* cache)
{
    PeerUser user;
#if defined(Q_OS_LINUX)
    Endpoints ends;
    if (!endpoints(static_cast<int>(descriptor), &ends)) {
        user.reason = QStringLiteral("not an IPv4 connection");
        return user;
    }
    if ((ntohl(ends.peer.sin_addr.s_addr) >> 24) != 127) {
        user.reason = QStringLiteral("not on loopback");
        return user;
    }
    qint64 uid = -1;
    if (!socketOwner(ends, &uid, &user.reason)) {
        return user;
    }
    user.known = true;
    user.uid = uid;
    user.id = QStringLiteral("uid %1").arg(uid);
    user.authorized = cache->mayCommand(uid, &user.name, &user.reason);
#elif defined(Q_OS_WIN)
    Q_UNUSED(cache) // the token answers membership itself
    if (!windowsOwner(descriptor, &user)) {
        user.reason = QStringLiteral("the owner of the peer's connection is unknown");
    } else if (!user.authorized) {
        user.reason = QStringLiteral("neither an administrator nor a member of %1").arg(groupName());
    }
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(cache)
    user.reason = QStringLiteral("the owner of a connection is unknown on this system");
#endif
    return user;
}
