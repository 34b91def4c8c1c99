#include "autostart.h"

#include "foundation/commandrun.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

const QString AutoStart::runKeyPath
    = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");

QString AutoStart::valueName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).baseName();
}

QString AutoStart::valueData()
{
    return Utils::quoted(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
}

bool AutoStart::isRegistered()
{
    const auto runKey = Registry::openKey(runKeyPath);
    return runKey->value(valueName()).toString() == valueData();
}

bool AutoStart::isEnabled()
{
    return isRegistered();
}

bool AutoStart::setEnabled(bool enable)
{
    {
        const auto runKey = Registry::openKey(runKeyPath);
        const QVariant previous = runKey->value(valueName());
        if (enable) {
            runKey->setValue(valueName(), valueData());
        } else {
            runKey->remove(valueName());
        }
        // Written out here, so that the second look below reads what really reached the registry.
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
    const bool registered = isRegistered();
    tagged(qInfo(), QStringLiteral("AutoStart")) << "Set enabled: '" << Utils::boolToString(enable) << "', status '"
                                                 << Utils::boolToString(enable == registered) << "'";
    return registered;
}

bool processListContains(const QString& listing, const QString& caption)
{
    static const QRegularExpression lineEnds(QStringLiteral("[\\r\\n]"));
    const QStringList lines = listing.split(lineEnds, Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (line.simplified() == caption) {
            return true;
        }
    }
    return false;
}

void checkVpnServiceRunning(QObject* context, const std::function<void(bool)>& done, int timeoutMs)
{
    auto* run = new CommandRun(QStringLiteral("wmic.exe"),
        { QStringLiteral("/OUTPUT:STDOUT"), QStringLiteral("PROCESS"), QStringLiteral("get"),
            QStringLiteral("Caption") },
        timeoutMs, QProcess::MergedChannels, context);
    QObject::connect(run, &CommandRun::finished, context, [run, done](const QString& listing) {
        run->deleteLater();
        done(processListContains(listing, QStringLiteral("%1.exe").arg(QStringLiteral("vpn-service"))));
    });
    run->start();
}
