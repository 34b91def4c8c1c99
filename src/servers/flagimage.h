#pragma once

#include <QString>

namespace Utils {

// The flag of a country in the resources, by its code in any case ("GB" or "gb").
QString flagImagePath(const QString& countryCode);

} // namespace Utils
