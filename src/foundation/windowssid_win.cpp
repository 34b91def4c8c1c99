#include "windowssid.h"

#ifdef Q_OS_WIN

// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <vector>

QString WindowsSid::text(void* sid)
{
    LPWSTR text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) {
        return QString();
    }
    const QString result = QString::fromWCharArray(text);
    LocalFree(text);
    return result;
}

QString WindowsSid::userOf(void* process)
{
    HANDLE token = nullptr;
    if (process == nullptr || !OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return QString();
    }
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<char> user(needed);
    QString result;
    if (needed > 0 && GetTokenInformation(token, TokenUser, user.data(), needed, &needed)) {
        result = text(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    }
    CloseHandle(token);
    return result;
}

#endif
