#include "programcatalog.h"

#include "servicefiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The service's folder for a program inside it; the root for one outside (Linux: the system's OpenVPN).
QString trustedFolderOf(const QString& path, const QString& folder)
{
    return path.startsWith(folder + QLatin1Char('/'), ServiceFiles::pathCase()) ? folder : QStringLiteral("/");
}

} // namespace

ProgramCatalog::ProgramCatalog(const ProgramPaths::Paths& paths)
    : programFolder(paths.folder)
{
    const QList<std::pair<QString, QString>> named { { QStringLiteral("openvpn"), paths.openVpn },
        { QStringLiteral("killswitch"), paths.killSwitch }, { QStringLiteral("dns"), paths.dns } };
    for (const auto& [name, path] : named) {
        const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
        list.append({ name, clean, trustedFolderOf(clean, programFolder) });
    }
}

QString ProgramCatalog::folder() const
{
    return programFolder;
}

const QList<ProgramCatalog::Program>& ProgramCatalog::programs() const
{
    return list;
}

QString ProgramCatalog::pathOf(const QString& name) const
{
    for (const Program& program : list) {
        if (program.name == name) {
            return program.path;
        }
    }
    return QString();
}

QString ProgramCatalog::nameFromPath(const QString& path)
{
    QString name = QDir::fromNativeSeparators(path).section(QLatin1Char('/'), -1);
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    return name;
}

ProgramCatalog::Resolution ProgramCatalog::resolve(const QString& requestedPath) const
{
    Resolution result;
    const QString requested = QDir::fromNativeSeparators(requestedPath);
    const QString requestedName = nameFromPath(requested);
    for (const Program& program : list) {
        if (program.name.compare(requestedName, ServiceFiles::pathCase()) == 0) {
            result.name = program.name;
        }
    }

    // An exact match only: no "..", no second slash, no relative path, no other folder.
    const Program* match = nullptr;
    for (const Program& program : list) {
        if (program.path.compare(requested, ServiceFiles::pathCase()) == 0) {
            match = &program;
        }
    }
    if (match == nullptr) {
        result.error = QStringLiteral("not one of the programs of %1").arg(programFolder);
        return result;
    }

    const QFileInfo file(match->path);
    if (!file.exists()) {
        result.error = QStringLiteral("program missing");
        result.missing = true;
        return result;
    }
    const QString canonicalFolder = QFileInfo(match->trustedFolder).canonicalFilePath();
    const QString canonical = file.canonicalFilePath();
    const QString inside
        = canonicalFolder.endsWith(QLatin1Char('/')) ? canonicalFolder : canonicalFolder + QLatin1Char('/');
    if (canonicalFolder.isEmpty() || !canonical.startsWith(inside, ServiceFiles::pathCase())) {
        result.error = QStringLiteral("program leaves its folder %1: %2").arg(match->trustedFolder, canonical);
        return result;
    }
    QString error;
    if (!isSafeFromOtherUsers(canonical, canonicalFolder, &error)) {
        result.error = error;
        return result;
    }
    result.executable = canonical;
    return result;
}

bool ProgramCatalog::isSafeFromOtherUsers(const QString& canonicalFile, const QString& canonicalFolder, QString* error)
{
    return ServiceFiles::isSafeFromOtherUsers(canonicalFile, canonicalFolder, error);
}
