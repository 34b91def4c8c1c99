#include "settings.h"

#include <QStandardPaths>

Settings::Settings()
{
    setObjectName(QStringLiteral("Settings"));
}

Settings* Settings::instance()
{
    static Settings* const settings = new Settings();
    return settings;
}

QString Settings::titleName() const
{
    return QStringLiteral("Korvex");
}

QString Settings::qmlFileUrl(const QString& fileName)
{
    return QStringLiteral("qrc:/qml/%1").arg(fileName);
}

QString Settings::appDataLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
