#include "flagimage.h"

namespace Utils {

QString flagImagePath(const QString& countryCode)
{
    return QStringLiteral("qrc:/resources/icons/flags/%1.png").arg(countryCode.toLower());
}

} // namespace Utils
