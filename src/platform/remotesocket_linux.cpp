// The Linux side of the command line's socket: a Unix socket in the session's runtime folder.
#include "remotesocket.h"

#ifndef Q_OS_WIN

#include "foundation/socketowner.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace RemoteSocket {

namespace {

QString folderOf(const Place& place)
{
    return place.name.left(place.name.lastIndexOf(QLatin1Char('/')));
}

// A folder of this user's own that nobody else can enter or change.
bool ownFolder(const QString& path, bool privateOnly, QString* error)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        *error = QStringLiteral("%1 is not a folder of this user").arg(path);
        return false;
    }
    if ((info.st_mode & (privateOnly ? 077 : 022)) != 0) {
        *error = QStringLiteral("%1 is open to other users").arg(path);
        return false;
    }
    return true;
}

} // namespace

Place place()
{
    Place where;
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime)) {
        where.error = QStringLiteral("XDG_RUNTIME_DIR does not name the session's runtime folder");
        return where;
    }
    where.name = QDir::cleanPath(runtime) + QStringLiteral("/korvex/control");
    return where;
}

bool prepare(const Place& place, QString* error)
{
    if (place.name.isEmpty()) {
        *error = place.error;
        return false;
    }
    const QString folder = folderOf(place);
    const QString runtime = folder.left(folder.lastIndexOf(QLatin1Char('/')));
    if (!ownFolder(runtime, false, error)) {
        return false;
    }
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return ownFolder(folder, true, error);
}

bool peerIsSelf(qintptr descriptor, QString* reason)
{
    const SocketOwner owner = SocketOwner::ofLocalPeer(descriptor);
    if (!owner.known) {
        *reason = owner.reason;
        return false;
    }
    if (owner.uid != static_cast<qint64>(::geteuid())) {
        *reason = QStringLiteral("the peer runs as another user (%1)").arg(owner.id);
        return false;
    }
    return true;
}

} // namespace RemoteSocket

#endif
