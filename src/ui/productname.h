#pragma once

#include <QString>

// The product's name as the user sees it: window title, notification area, messages.
namespace ProductName {

inline QString title()
{
    return QStringLiteral("Korvex");
}

} // namespace ProductName
