#pragma once

#include <QByteArray>
#include <QString>

// The service's state folder (lockdown's mode, the mark of a tunnel that is up) is the service's
// own: nothing in it is opened through a symbolic link, and nothing is read or written while the
// folder, or one above it, could be changed by another user (a link placed there would have the
// service replace or truncate a file of its choosing).
namespace StateFolder {

// Makes the folder (for the service alone) when it is missing. False, with the reason, when it or a
// folder above it is a link, or another user may change it.
bool prepare(const QString& folder, QString* problem);
// Writes the file whole: a new file of the service's own, renamed over the old one (a link there
// is replaced, never followed).
bool write(const QString& path, const QByteArray& data, QString* error);
// Reads a plain file of the service's own that no one else may change, of at most maxSize bytes.
// missing: there is none (nor its folder), which is no problem.
bool read(const QString& path, qint64 maxSize, QByteArray* data, bool* missing, QString* problem);

} // namespace StateFolder
