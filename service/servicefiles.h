#pragma once

#include <QString>
#include <Qt>

class QFile;

// The door to the service's own files and to the checks of files it trusts.
namespace ServiceFiles {

// Path names compare as the system's file systems do (case-insensitively on Windows).
Qt::CaseSensitivity pathCase();

// Where the service keeps its state (lockdown's file) and its log by default.
QString stateFolder();
QString logFilePath();

// Opens the service's log for appending: only the service's user may read it, a link planted at its
// place is not followed, and only a regular file will do. Null and *error on failure.
QFile* openLog(const QString& path, QString* error);
// Renames FROM to TO, replacing TO (the log's rotation).
void moveReplacing(const QString& from, const QString& to);

// Whether a state file is there (*exists) and, if it is, why it is not a plain file of the
// service's own that only it may change; empty when it is.
QString ownFileProblem(const QString& path, bool* exists);
// A real folder of the service's own user (a run's private folder), not a link nor another's.
bool isOwnFolder(const QString& path);

// Whether nobody but the service's user and the system may change the file or any folder on its
// way up to canonicalFolder; *error says which one another user may change.
bool isSafeFromOtherUsers(const QString& canonicalFile, const QString& canonicalFolder, QString* error);

} // namespace ServiceFiles
