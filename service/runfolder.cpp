#include "runfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

const QString prefix = QStringLiteral("vpn-service-");

bool stillRunning(qint64 pid)
{
#ifdef Q_OS_UNIX
    return pid == QCoreApplication::applicationPid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    Q_UNUSED(pid)
    return true; // Windows: the folder goes with the run; a left-over stays until the next boot's clean-up
#endif
}

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
        if (!match.hasMatch() || stillRunning(match.captured(1).toLongLong())) {
            continue;
        }
        const QString path = temp.filePath(entry);
#ifdef Q_OS_UNIX
        // Only a real folder of ours: the temporary folder is everybody's.
        struct stat info = {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)
            || info.st_uid != ::geteuid()) {
            continue;
        }
#endif
        if (QDir(path).removeRecursively()) {
            ++removed;
        }
    }
    return removed;
}

} // namespace RunFolder
