#include "registry.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace Registry {

#ifdef Q_OS_WIN

std::unique_ptr<QSettings> openKey(const QString& keyPath)
{
    return std::make_unique<QSettings>(keyPath, QSettings::NativeFormat);
}

#else

namespace {

bool isKnownHive(const QString& hive)
{
    static const QStringList hives { QStringLiteral("HKEY_CLASSES_ROOT"), QStringLiteral("HKEY_CURRENT_USER"),
        QStringLiteral("HKEY_LOCAL_MACHINE"), QStringLiteral("HKEY_USERS"), QStringLiteral("HKEY_CURRENT_CONFIG") };
    return hives.contains(hive);
}

} // namespace

QString standInFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("vpnclient-registry"));
}

QString standInFile(const QString& hive)
{
    if (!isKnownHive(hive)) {
        return QString();
    }
    return QDir(standInFolder()).filePath(hive + QStringLiteral(".ini"));
}

std::unique_ptr<QSettings> openKey(const QString& keyPath)
{
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    const QString hive = parts.isEmpty() ? QString() : parts.takeFirst();
    const QString file = standInFile(hive);
    if (file.isEmpty()) {
        // Below a device rather than a folder: nothing can be read or created there, even by root.
        return std::make_unique<QSettings>(QStringLiteral("/dev/null/unknown-registry-hive.ini"), QSettings::IniFormat);
    }
    QDir().mkpath(standInFolder());
    auto settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
    if (!parts.isEmpty()) {
        settings->beginGroup(parts.join(QLatin1Char('/')));
    }
    return settings;
}

#endif

} // namespace Registry
