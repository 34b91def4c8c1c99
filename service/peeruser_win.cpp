// The Windows side of the peer's authorization: the token of the process that owns the peer's
// connection (TokenStanding decides), and the local group's members as the account database says.
#include "peeruser.h"

#ifdef Q_OS_WIN

#include "foundation/windowssid.h"
#include "tokenstanding.h"

// clang-format off
#include <windows.h>
#include <sddl.h>
#include <lm.h>
// clang-format on

#include <memory>
#include <vector>

static_assert(TokenStanding::groupEnabled == SE_GROUP_ENABLED, "SE_GROUP_ENABLED");
static_assert(TokenStanding::groupDenyOnly == SE_GROUP_USE_FOR_DENY_ONLY, "SE_GROUP_USE_FOR_DENY_ONLY");
static_assert(TokenStanding::mediumIntegrity == SECURITY_MANDATORY_MEDIUM_RID, "medium integrity");

namespace {

struct HandleCloser
{
    void operator()(HANDLE handle) const
    {
        CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::vector<char> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind)
{
    DWORD needed = 0;
    GetTokenInformation(token, kind, nullptr, 0, &needed);
    std::vector<char> buffer(needed);
    if (needed == 0 || !GetTokenInformation(token, kind, buffer.data(), needed, &needed)) {
        buffer.clear();
    }
    return buffer;
}

// What the token of the process says; an empty user when it cannot be read.
TokenStanding::Token tokenOf(HANDLE process)
{
    TokenStanding::Token result;
    HANDLE raw = nullptr;
    if (process == nullptr || !OpenProcessToken(process, TOKEN_QUERY, &raw)) {
        return result;
    }
    const Handle token(raw);
    const std::vector<char> user = tokenInformation(raw, TokenUser);
    const std::vector<char> groups = tokenInformation(raw, TokenGroups);
    const std::vector<char> label = tokenInformation(raw, TokenIntegrityLevel);
    DWORD container = 0;
    DWORD size = 0;
    if (user.empty() || groups.empty() || label.empty()
        || !GetTokenInformation(raw, TokenIsAppContainer, &container, sizeof(container), &size)) {
        return result;
    }
    const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
    for (DWORD i = 0; i < list->GroupCount; ++i) {
        result.groups.append({ WindowsSid::text(list->Groups[i].Sid), list->Groups[i].Attributes });
    }
    PSID labelSid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(labelSid);
    result.integrity = count > 0 ? *GetSidSubAuthority(labelSid, count - 1) : 0;
    result.restricted = IsTokenRestricted(raw) || container != 0;
    result.user = WindowsSid::text(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    return result;
}

QString ownUser()
{
    static const QString user = tokenOf(GetCurrentProcess()).user;
    return user;
}

// "DOMAIN\name" of a SID given as text; empty when it names no account.
QString accountName(const QString& sid)
{
    PSID binary = nullptr;
    if (!ConvertStringSidToSidW(reinterpret_cast<LPCWSTR>(sid.utf16()), &binary)) {
        return QString();
    }
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use = SidTypeUnknown;
    const bool found = LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use);
    LocalFree(binary);
    return found ? QString::fromWCharArray(domain) + QLatin1Char('\\') + QString::fromWCharArray(name) : QString();
}

// The SID of the installation's group among this computer's own groups (never a domain's group
// of the same name); empty when there is none.
QString localGroupSid()
{
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerSize = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(computer, &computerSize)) {
        return QString();
    }
    const QString qualified = QString::fromWCharArray(computer) + QLatin1Char('\\') + PeerUser::groupName();
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256];
    DWORD domainSize = 256;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(
            nullptr, reinterpret_cast<LPCWSTR>(qualified.utf16()), sid, &sidSize, domain, &domainSize, &use)
        || use != SidTypeAlias) {
        return QString();
    }
    return WindowsSid::text(sid);
}

} // namespace

QString PeerUser::rootId()
{
    return TokenStanding::localSystem();
}

bool PeerUser::connectionMayCommand(const SocketOwner& owner, AuthorizationCache* cache, QString* name, QString* reason)
{
    const Handle process(owner.pid != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.pid) : nullptr);
    const TokenStanding::Token token = tokenOf(process.get());
    // The process read a moment ago may have ended and its id gone to another.
    if (token.user.compare(owner.id, Qt::CaseInsensitive) != 0) {
        *reason = QStringLiteral("the token of process %1 cannot be read").arg(owner.pid);
        return false;
    }
    *name = accountName(owner.id);
    switch (TokenStanding::standing(token, localGroupSid(), ownUser(), groupName(), reason)) {
    case TokenStanding::Standing::Root:
    case TokenStanding::Standing::Own:
        return true;
    case TokenStanding::Standing::Member:
        // A token keeps the groups of its logon: one removed from the group since is refused here.
        return cache->mayCommand(owner, name, reason);
    case TokenStanding::Standing::Refused:
        break;
    }
    return false;
}

bool PeerUser::accountMayCommand(const SocketOwner& account, QString* name, QString* reason)
{
    *name = accountName(account.id);
    if (account.id.compare(rootId(), Qt::CaseInsensitive) == 0
        || account.id.compare(ownUser(), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (name->isEmpty()) {
        *reason = QStringLiteral("%1 names no account").arg(account.id);
        return false;
    }
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    const NET_API_STATUS status = NetUserGetLocalGroups(nullptr, reinterpret_cast<LPCWSTR>(name->utf16()), 0,
        LG_INCLUDE_INDIRECT, &buffer, MAX_PREFERRED_LENGTH, &read, &total);
    bool member = false;
    if (status == NERR_Success) {
        const auto* groups = reinterpret_cast<const LOCALGROUP_USERS_INFO_0*>(buffer);
        for (DWORD i = 0; i < read && !member; ++i) {
            member = QString::fromWCharArray(groups[i].lgrui0_name).compare(groupName(), Qt::CaseInsensitive) == 0;
        }
    }
    if (buffer != nullptr) {
        NetApiBufferFree(buffer);
    }
    if (!member) {
        *reason = status == NERR_Success
            ? QStringLiteral("neither LocalSystem nor a member of %1").arg(groupName())
            : QStringLiteral("the groups of %1 cannot be read (%2)").arg(*name).arg(status);
    }
    return member;
}

#endif
