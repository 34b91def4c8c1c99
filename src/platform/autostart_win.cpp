// The Windows side of launch at sign-in: the per-user Run key.
#include "autostart.h"

#ifdef Q_OS_WIN

#include "foundation/utils.h"
#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

const QString AutoStart::runKeyPath
    = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");

namespace {

QString valueData(bool hidden)
{
    return Utils::quoted(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()))
        + (hidden ? QStringLiteral(" --hidden") : QString());
}

} // namespace

bool AutoStart::isEnabled()
{
    const auto runKey = Registry::openKey(runKeyPath);
    const QString data = runKey->value(valueName()).toString();
    return data == valueData(false) || data == valueData(true);
}

bool AutoStart::isHidden()
{
    return Registry::openKey(runKeyPath)->value(valueName()).toString() == valueData(true);
}

void AutoStart::write(bool enable, bool hidden)
{
    const auto runKey = Registry::openKey(runKeyPath);
    const QVariant previous = runKey->value(valueName());
    if (enable) {
        runKey->setValue(valueName(), valueData(hidden));
    } else {
        runKey->remove(valueName());
    }
    // Written out here, so that the second look reads what really reached the registry.
    runKey->sync();
    if (runKey->status() != QSettings::NoError) {
        // QSettings keeps an unwritten change in memory for later readers: take it back.
        if (previous.isValid()) {
            runKey->setValue(valueName(), previous);
        } else {
            runKey->remove(valueName());
        }
    }
}

#endif
