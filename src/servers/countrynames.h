#pragma once

#include <QString>

// Countries by the two-letter codes of the server feed, named in the language of the installed translation.
namespace CountryNames {

// The English name of a code in any case ("de", "DE"); empty for a code not known.
QString englishName(const QString& code);
// The name in the language in use; the code itself when it is not known, so a row never goes blank.
QString name(const QString& code);

} // namespace CountryNames
