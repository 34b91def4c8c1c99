// The Windows side of the service's files. The installer gives the application folder under Program
// Files and the service's folder under ProgramData their access lists (SYSTEM and Administrators
// may change them). The programs' files and folders have theirs read back before a run; the state
// and log files are checked for their kinds only.
#include "servicefiles.h"

#ifdef Q_OS_WIN

#include "accesslist.h"
#include "foundation/windowssid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <vector>

namespace {

// The user of the service's own token.
QString ownUser()
{
    return WindowsSid::userOf(GetCurrentProcess());
}

// Why another account may change the file or folder at path, or empty.
QString accessProblem(const QString& path, const QStringList& trusted)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const QString native = QDir::toNativeSeparators(path);
    const DWORD status = GetNamedSecurityInfoW(reinterpret_cast<LPCWSTR>(native.utf16()), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &list, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        return QStringLiteral("its access list cannot be read (error %1)").arg(status);
    }
    QList<AccessList::Entry> entries;
    for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(list, i, reinterpret_cast<void**>(&header))) {
            continue;
        }
        const bool inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
            // The two share their layout up to the SID.
            auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            entries.append({ WindowsSid::text(&allowed->SidStart), allowed->Mask, true, inheritOnly });
        } else if (header->AceType != ACCESS_DENIED_ACE_TYPE && header->AceType != ACCESS_DENIED_CALLBACK_ACE_TYPE) {
            // An entry of a kind a file system does not use: taken as letting someone change it.
            entries.append({ QStringLiteral("an entry of kind %1").arg(header->AceType), ~0u, true, inheritOnly });
        }
    }
    const QString problem = AccessList::problem(WindowsSid::text(owner), list != nullptr, entries, trusted);
    LocalFree(descriptor);
    return problem;
}

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
    // A file or folder on the way that another account may change lets it swap the program and have
    // it run as LocalSystem.
    QStringList trusted = AccessList::systemAccounts();
    trusted.append(ownUser());
    QString path = canonicalFile;
    while (true) {
        const QString problem = accessProblem(path, trusted);
        if (!problem.isEmpty()) {
            *error = QStringLiteral("%1 can be changed by other users: %2").arg(path, problem);
            return false;
        }
        if (path.compare(canonicalFolder, Qt::CaseInsensitive) == 0) {
            return true;
        }
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path) {
            *error = QStringLiteral("%1 is not inside %2").arg(canonicalFile, canonicalFolder);
            return false;
        }
        path = parent;
    }
}

} // namespace ServiceFiles

#endif
