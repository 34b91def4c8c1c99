#include "tokenstanding.h"

namespace TokenStanding {

QString localSystem()
{
    return QStringLiteral("S-1-5-18");
}

Standing standing(
    const Token& token, const QString& groupSid, const QString& serviceUser, const QString& groupName, QString* reason)
{
    if (token.user.isEmpty()) {
        *reason = QStringLiteral("the token names no user");
        return Standing::Refused;
    }
    if (token.restricted || token.integrity < mediumIntegrity) {
        *reason = QStringLiteral("the process runs sandboxed (integrity 0x%1%2)")
                      .arg(token.integrity, 0, 16)
                      .arg(token.restricted ? QStringLiteral(", restricted") : QString());
        return Standing::Refused;
    }
    if (token.user.compare(localSystem(), Qt::CaseInsensitive) == 0) {
        return Standing::Root;
    }
    if (!serviceUser.isEmpty() && token.user.compare(serviceUser, Qt::CaseInsensitive) == 0) {
        return Standing::Own;
    }
    if (groupSid.isEmpty()) {
        *reason = QStringLiteral("the group %1 does not exist").arg(groupName);
        return Standing::Refused;
    }
    for (const Group& group : token.groups) {
        if (group.sid.compare(groupSid, Qt::CaseInsensitive) != 0) {
            continue;
        }
        if ((group.attributes & groupEnabled) != 0 && (group.attributes & groupDenyOnly) == 0) {
            return Standing::Member;
        }
        *reason = QStringLiteral("the group %1 is not enabled in the process's token").arg(groupName);
        return Standing::Refused;
    }
    *reason = QStringLiteral("neither LocalSystem nor a member of %1").arg(groupName);
    return Standing::Refused;
}

} // namespace TokenStanding
