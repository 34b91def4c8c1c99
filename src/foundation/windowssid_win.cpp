#include "windowssid.h"

#ifdef Q_OS_WIN

// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

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

#endif
