#pragma once

#include <QString>

// The interface's typefaces, compiled into the resources: Poppins, and Montserrat drawing the
// characters Poppins lacks (Cyrillic), so that a Russian line never falls back to a system font.
namespace BundledFonts {

// Registers every font under :/resources/fonts and the fallback; calling it again changes nothing.
void install();

inline QString family()
{
    return QStringLiteral("Poppins");
}

inline QString fallbackFamily()
{
    return QStringLiteral("Montserrat");
}

} // namespace BundledFonts
