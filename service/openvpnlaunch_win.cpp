// The Windows side of an OpenVPN run. Reading the user's files with the client's rights (its
// token's SID as owner, no reparse point, a disk file, a secret no other trustee may read), private
// copies under ProgramData with an access list for SYSTEM and Administrators alone, and the log's
// handle as OpenVPN's standard output are not built yet: every run is refused until they are.
#include "openvpnlaunch.h"

#ifdef Q_OS_WIN

void OpenVpnLaunch::closeOutput()
{
    output = -1;
}

bool OpenVpnLaunch::prepareFiles(const QString& configPath, const QString& logPath, qint64 peerUid, QString* error)
{
    Q_UNUSED(configPath)
    Q_UNUSED(logPath)
    Q_UNUSED(peerUid)
    *error = QStringLiteral("OpenVPN runs are not available on this system");
    return false;
}

#endif
