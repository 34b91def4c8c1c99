#include "peerprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <unistd.h>

#include <cstring>
#endif

#ifdef Q_OS_WIN
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>
// clang-format on
#include <vector>
#endif

namespace {

#ifdef Q_OS_LINUX

// "0100007F:1A2F" of /proc/net/tcp or the 32-digit form of /proc/net/tcp6. The kernel prints
// each 32-bit word of the address as a host-order number, so the word's bytes in memory are
// the address bytes in network order.
bool parseEndpoint(const QByteArray& text, QHostAddress* address, quint16* port)
{
    const int colon = text.indexOf(':');
    if (colon != 8 && colon != 32) {
        return false;
    }
    bool ok = false;
    *port = static_cast<quint16>(text.mid(colon + 1).toUInt(&ok, 16));
    if (!ok) {
        return false;
    }
    quint8 bytes[16] = {};
    for (int word = 0; word < colon / 8; ++word) {
        const quint32 value = text.mid(word * 8, 8).toUInt(&ok, 16);
        if (!ok) {
            return false;
        }
        std::memcpy(bytes + word * 4, &value, 4);
    }
    if (colon == 8) {
        address->setAddress(qFromBigEndian<quint32>(bytes));
    } else {
        address->setAddress(bytes);
    }
    return true;
}

QList<quint64> socketInodes(
    const QHostAddress& peerAddress, quint16 peerPort, const QHostAddress& localAddress, quint16 localPort)
{
    QList<quint64> inodes;
    for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        file.readLine(); // header
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            if (fields.size() < 10) {
                continue;
            }
            QHostAddress socketLocal;
            QHostAddress socketRemote;
            quint16 socketLocalPort = 0;
            quint16 socketRemotePort = 0;
            if (!parseEndpoint(fields.at(1), &socketLocal, &socketLocalPort)
                || !parseEndpoint(fields.at(2), &socketRemote, &socketRemotePort)) {
                continue;
            }
            // The peer's own socket: its local end is our peer, its remote end is us.
            if (socketLocalPort != peerPort || socketRemotePort != localPort
                || !socketLocal.isEqual(peerAddress, QHostAddress::ConvertV4MappedToIPv4)
                || !socketRemote.isEqual(localAddress, QHostAddress::ConvertV4MappedToIPv4)) {
                continue;
            }
            const quint64 inode = fields.at(9).toULongLong();
            if (inode != 0) {
                inodes.append(inode);
            }
        }
    }
    return inodes;
}

QString readLink(const QByteArray& path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(path.constData(), buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        return QString();
    }
    return QFile::decodeName(QByteArray(buffer, static_cast<int>(length)));
}

// The effective uid from the "Uid:" line (real, effective, saved, filesystem).
qint64 effectiveUid(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // A /proc file reports no size: read it whole rather than testing for its end.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("Uid:")) {
            const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
            bool ok = false;
            const qint64 uid = fields.value(1).toLongLong(&ok);
            return ok ? uid : -1;
        }
    }
    return -1;
}

QList<PeerProcess::Owner> ownersOfInodes(const QList<quint64>& inodes)
{
    QList<QByteArray> targets;
    for (quint64 inode : inodes) {
        targets.append("socket:[" + QByteArray::number(inode) + "]");
    }
    QList<PeerProcess::Owner> owners;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return owners;
    }
    while (const dirent* entry = ::readdir(proc)) {
        bool isPid = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&isPid);
        if (!isPid) {
            continue;
        }
        const QByteArray fdFolder = "/proc/" + QByteArray::number(pid) + "/fd";
        DIR* fds = ::opendir(fdFolder.constData());
        if (fds == nullptr) {
            continue;
        }
        bool holds = false;
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') {
                continue;
            }
            char buffer[64];
            const QByteArray link = fdFolder + '/' + fd->d_name;
            const ssize_t length = ::readlink(link.constData(), buffer, sizeof(buffer));
            if (length > 0 && targets.contains(QByteArray(buffer, static_cast<int>(length)))) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (holds) {
            owners.append({ pid, readLink("/proc/" + QByteArray::number(pid) + "/exe"), effectiveUid(pid) });
        }
    }
    ::closedir(proc);
    return owners;
}

#endif

#ifdef Q_OS_WIN

// The owning process of a TCP connection comes from the extended TCP table; its image path
// from the process itself. Loopback IPv4 only, as the service listens on 127.0.0.1.
QList<PeerProcess::Owner> windowsOwners(
    const QHostAddress& peerAddress, quint16 peerPort, const QHostAddress& localAddress, quint16 localPort)
{
    QList<PeerProcess::Owner> owners;
    ULONG size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    std::vector<char> buffer(size);
    if (GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0) != NO_ERROR) {
        return owners;
    }
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = table->table[i];
        if (ntohl(row.dwLocalAddr) != peerAddress.toIPv4Address() || ntohs(u_short(row.dwLocalPort)) != peerPort
            || ntohl(row.dwRemoteAddr) != localAddress.toIPv4Address()
            || ntohs(u_short(row.dwRemotePort)) != localPort) {
            continue;
        }
        PeerProcess::Owner owner;
        owner.pid = row.dwOwningPid;
        if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, row.dwOwningPid)) {
            wchar_t path[MAX_PATH * 4];
            DWORD length = DWORD(sizeof(path) / sizeof(path[0]));
            if (QueryFullProcessImageNameW(process, 0, path, &length)) {
                owner.executable = QDir::fromNativeSeparators(QString::fromWCharArray(path, int(length)));
            }
            CloseHandle(process);
        }
        owners.append(owner);
    }
    return owners;
}

#endif

} // namespace

QList<PeerProcess::Owner> PeerProcess::owners(
    const QHostAddress& peerAddress, quint16 peerPort, const QHostAddress& localAddress, quint16 localPort)
{
#if defined(Q_OS_LINUX)
    return ownersOfInodes(socketInodes(peerAddress, peerPort, localAddress, localPort));
#elif defined(Q_OS_WIN)
    return windowsOwners(peerAddress, peerPort, localAddress, localPort);
#else
    Q_UNUSED(peerAddress)
    Q_UNUSED(peerPort)
    Q_UNUSED(localAddress)
    Q_UNUSED(localPort)
    return {};
#endif
}

QString PeerProcess::canonicalExecutable(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir::fromNativeSeparators(path)) : canonical;
}

bool PeerProcess::samePath(const QString& a, const QString& b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}
