#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Who a peer is to the service on Windows, from the token of the process that owns its connection:
// decided here without the system, so that the rule is tested everywhere.
//   - LocalSystem is root.
//   - The service's own account may command it: it could act as the service anyway (a process of
//     the same account may open the service's process). Installed, that is LocalSystem again.
//   - Anyone else needs the installation's local group in the token, enabled: a group the token
//     holds only to deny access (a filtered or restricted token) does not count.
//   - A token the system sandboxed (below medium integrity, restricted, an app container) speaks for
//     nobody, whatever its user.
// An elevated administrator is neither root nor a member by being one: the Administrators group
// decides nothing here (see docs/service.md).
namespace TokenStanding {

enum class Standing
{
    Root,
    Own,
    Member,
    Refused
};

struct Group
{
    QString sid;
    quint32 attributes = 0;
};

struct Token
{
    // SIDs as text, "S-1-5-18".
    QString user;
    QList<Group> groups;
    // The mandatory label's RID (0x2000 medium, 0x3000 high, 0x4000 system).
    quint32 integrity = 0;
    // Restricting SIDs or an app container.
    bool restricted = false;
};

// The token's group attributes that decide (the system's SE_GROUP_ENABLED and
// SE_GROUP_USE_FOR_DENY_ONLY) and the medium integrity RID.
constexpr quint32 groupEnabled = 0x4;
constexpr quint32 groupDenyOnly = 0x10;
constexpr quint32 mediumIntegrity = 0x2000;

QString localSystem();

// groupSid: the local group's SID, empty when the group does not exist. serviceUser: the user of
// the service's own token. *reason says why a token is refused.
Standing standing(
    const Token& token, const QString& groupSid, const QString& serviceUser, const QString& groupName, QString* reason);

} // namespace TokenStanding
