// The Windows side of the user's files. Opening them with the client's rights (CreateFileW while
// impersonating its token, no reparse point, a disk file owned by the client's SID) is not built
// yet: every user file is refused, so no OpenVPN run starts on a file the service did not check.
#include "userfile.h"

#ifdef Q_OS_WIN

#include "servicelog.h"

namespace UserFile {

int open(const QString& path, int flags, qint64 uid, const QString& what, QString* error)
{
    Q_UNUSED(flags)
    Q_UNUSED(uid)
    *error = QStringLiteral("%1 %2: opening a user's file is not available on this system")
                 .arg(what, ServiceLog::printable(path));
    return -1;
}

} // namespace UserFile

#endif
