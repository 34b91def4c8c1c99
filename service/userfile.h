#pragma once

#include <QString>

// Files a user names in a command (OpenVPN's configuration and log): opened with that user's
// rights, never through a symbolic link at the end of the path, and only when they are regular
// files of that user. A FIFO or a device is never opened at all, and the service learns nothing
// about a path that the user could not learn alone.
namespace UserFile {

// flags: O_RDONLY, or O_WRONLY | O_APPEND, ... Returns the descriptor, or -1 with the reason in
// error (what: the file's role, for that message).
int open(const QString& path, int flags, qint64 uid, const QString& what, QString* error);

} // namespace UserFile
