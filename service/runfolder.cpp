#include "runfolder.h"

#include "servicefiles.h"
#include "serviceprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace {

const QString prefix = QStringLiteral("vpn-service-");

} // namespace

namespace RunFolder {

std::unique_ptr<QTemporaryDir> create()
{
    return std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/') + prefix
        + QString::number(QCoreApplication::applicationPid()) + QStringLiteral("-XXXXXX"));
}

int removeLeftovers()
{
    static const QRegularExpression name(QStringLiteral("^vpn-service-(\\d+)-[A-Za-z0-9]+$"));
    const QDir temp(QDir::tempPath());
    int removed = 0;
    for (const QString& entry : temp.entryList({ prefix + QLatin1Char('*') }, QDir::Dirs | QDir::Hidden)) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch() || ServiceProcess::mayBeRunning(match.captured(1).toLongLong())) {
            continue;
        }
        const QString path = temp.filePath(entry);
        // Only a real folder of ours: the temporary folder is everybody's.
        if (!ServiceFiles::isOwnFolder(path)) {
            continue;
        }
        if (QDir(path).removeRecursively()) {
            ++removed;
        }
    }
    return removed;
}

} // namespace RunFolder
