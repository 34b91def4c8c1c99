// The Windows side of the service's files. The installer gives the application folder under Program
// Files and the service's folder under ProgramData their access lists (SYSTEM and Administrators
// may change them); reading those lists back is not built yet, so the checks here only see kinds.
#include "servicefiles.h"

#ifdef Q_OS_WIN

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString programData()
{
    return QDir::fromNativeSeparators(qEnvironmentVariable("ProgramData", QStringLiteral("C:/ProgramData")));
}

} // namespace

namespace ServiceFiles {

Qt::CaseSensitivity pathCase()
{
    return Qt::CaseInsensitive;
}

QString stateFolder()
{
    return programData() + QStringLiteral("/Korvex");
}

QString logFilePath()
{
    // A Windows service has no user profile worth using; ProgramData is the machine-wide place.
    return programData() + QStringLiteral("/VPNClient/vpn-service.log");
}

QFile* openLog(const QString& path, QString* error)
{
    auto* file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = file->errorString();
        delete file;
        return nullptr;
    }
    return file;
}

void moveReplacing(const QString& from, const QString& to)
{
    QFile::remove(to);
    QFile::rename(from, to);
}

QString ownFileProblem(const QString& path, bool* exists)
{
    const QFileInfo info(path);
    *exists = info.exists() || info.isSymLink();
    if (*exists && (info.isSymLink() || !info.isFile())) {
        return QStringLiteral("%1 is not a file of the service's own that only it may change").arg(path);
    }
    return QString();
}

bool isOwnFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

bool isSafeFromOtherUsers(const QString& canonicalFile, const QString& canonicalFolder, QString* error)
{
    Q_UNUSED(canonicalFile)
    Q_UNUSED(canonicalFolder)
    Q_UNUSED(error)
    return true;
}

} // namespace ServiceFiles

#endif
