#include "peeruser.h"

#ifdef Q_OS_LINUX
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>
#endif

#ifdef Q_OS_WIN
// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on
#include <vector>
#endif

#ifdef Q_OS_WIN
namespace {

// Membership and name of the user of the process that owns the peer's end.
bool windowsOwner(DWORD pid, PeerUser* user)
{
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
    const bool ok = needed > 0 && GetTokenInformation(token, TokenUser, tokenUser.data(), needed, &needed);
    if (ok) {
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

} // namespace
#endif

QString PeerUser::groupName()
{
    return QStringLiteral("korvexvpn");
}

bool PeerUser::isRoot() const
{
    return known && id == rootId();
}

QString PeerUser::rootId()
{
#ifdef Q_OS_WIN
    return QStringLiteral("S-1-5-18");
#else
    return QStringLiteral("uid 0");
#endif
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
    static_cast<SocketOwner&>(user) = SocketOwner::ofPeer(descriptor);
    if (!user.known) {
        return user;
    }
#if defined(Q_OS_WIN)
    Q_UNUSED(cache) // the token answers membership itself
    if (!windowsOwner(user.pid, &user)) {
        user.reason = QStringLiteral("the owner of the peer's connection is unknown");
    } else if (!user.authorized) {
        user.reason = QStringLiteral("neither an administrator nor a member of %1").arg(groupName());
    }
#else
    user.authorized = cache->mayCommand(user.uid, &user.name, &user.reason);
#endif
    return user;
}
