// The Linux side of the peer's authorization: root, or a member of the group as the user database
// says now.
#include "peeruser.h"

#ifndef Q_OS_WIN

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

QString PeerUser::rootId()
{
    return QStringLiteral("uid 0");
}

bool PeerUser::connectionMayCommand(const SocketOwner& owner, AuthorizationCache* cache, QString* name, QString* reason)
{
    return cache->mayCommand(owner, name, reason);
}

bool PeerUser::accountMayCommand(const SocketOwner& account, QString* name, QString* reason)
{
    const qint64 uid = account.uid;
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
}

#endif
