#include "resolvedlinks.h"

#include "toolsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ResolvedLinks {

namespace {

// The address systemd-resolved's stub listener answers on.
const QByteArray stubAddress = "127.0.0.53";
constexpr qint64 maxStateSize = 4096;

QByteArray readSmallFile(const QString& path, qint64 limit)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(limit) : QByteArray();
}

bool isTunnelDevice(const Host& host, const QString& name)
{
    return QFileInfo::exists(host.netFolder + QLatin1Char('/') + name + QStringLiteral("/tun_flags"));
}

// "net:[INODE]" of a process folder: the same for the processes of one network namespace.
QString networkOf(const QString& process)
{
    return QFileInfo(process + QStringLiteral("/ns/net")).symLinkTarget().section(QLatin1Char('/'), -1);
}

QStringList recordedLinks(const Host& host)
{
    QStringList links;
    const QByteArray text = readSmallFile(host.stateFile, maxStateSize);
    for (const QByteArray& line : text.split('\n')) {
        const QString name = QString::fromLatin1(line);
        if (ResolverConfig::isInterfaceName(name) && !links.contains(name)) {
            links.append(name);
        }
    }
    return links;
}

QString record(const Host& host, const QStringList& links)
{
    if (links.isEmpty()) {
        return QFile::remove(host.stateFile) || !QFileInfo::exists(host.stateFile)
            ? QString()
            : QStringLiteral("cannot remove %1").arg(host.stateFile);
    }
    QSaveFile file(host.stateFile);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("cannot write %1: %2").arg(host.stateFile, file.errorString());
    }
    file.write(links.join(QLatin1Char('\n')).toLatin1() + '\n');
    return file.commit() ? QString() : QStringLiteral("cannot write %1: %2").arg(host.stateFile, file.errorString());
}

QString resolvectl(const Host& host, const QStringList& arguments)
{
    const ToolSupport::RunResult result = ToolSupport::run(host.resolvectl, arguments);
    return result.ok ? QString() : result.errorText;
}

} // namespace

Host systemHost()
{
    Host host;
    host.resolvectl = ToolSupport::systemProgram(QStringLiteral("resolvectl"));
    return host;
}

bool isActive(const Host& host)
{
    if (!QFileInfo(host.resolveFolder).isDir()) {
        return false;
    }
    const QFileInfo file(host.resolvConf);
    const QString folder = QFileInfo(host.resolveFolder).canonicalFilePath();
    if (file.isSymLink() && file.canonicalFilePath().startsWith(folder + QLatin1Char('/'))) {
        return true;
    }
    bool stubOnly = false;
    for (const QByteArray& line : readSmallFile(host.resolvConf, 64 * 1024).split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words.at(0) == "nameserver") {
            if (words.at(1) != stubAddress) {
                return false;
            }
            stubOnly = true;
        }
    }
    return stubOnly;
}

QStringList openVpnInterfaces(const Host& host)
{
    QStringList links;
    // Only an OpenVPN of this network namespace: the links of another one are not this resolver's.
    const QString network = networkOf(host.procFolder + QStringLiteral("/self"));
    const QStringList processes = QDir(host.procFolder).entryList({ QStringLiteral("[0-9]*") }, QDir::Dirs);
    for (const QString& pid : processes) {
        const QString process = host.procFolder + QLatin1Char('/') + pid;
        if (readSmallFile(process + QStringLiteral("/comm"), 64).trimmed() != "openvpn"
            || networkOf(process) != network) {
            continue;
        }
        // The kernel names the interface of every open TUN descriptor in its fdinfo.
        const QStringList descriptors = QDir(process + QStringLiteral("/fdinfo")).entryList(QDir::Files);
        for (const QString& fd : descriptors) {
            for (const QByteArray& line : readSmallFile(process + QStringLiteral("/fdinfo/") + fd, 4096).split('\n')) {
                const QString name = QString::fromLatin1(line.mid(4).trimmed());
                if (line.startsWith("iff:") && ResolverConfig::isInterfaceName(name) && !links.contains(name)) {
                    links.append(name);
                }
            }
        }
    }
    links.sort();
    return links;
}

QString apply(const Host& host, const ResolverConfig::Request& request)
{
    QStringList recorded = recordedLinks(host);
    if (request.mode == ResolverConfig::Request::User && recorded.isEmpty()) {
        return QString();
    }
    if (host.resolvectl.isEmpty()) {
        return QStringLiteral("systemd-resolved manages the resolvers, but resolvectl is not installed");
    }
    if (request.mode == ResolverConfig::Request::User) {
        QStringList failures;
        for (const QString& link : qAsConst(recorded)) {
            // Gone with its tunnel, and its configuration with it.
            if (!QFileInfo::exists(host.netFolder + QLatin1Char('/') + link)) {
                continue;
            }
            const QString error = resolvectl(host, { QStringLiteral("revert"), link });
            if (!error.isEmpty()) {
                failures.append(error);
            }
        }
        return failures.isEmpty() ? record(host, {}) : failures.join(QStringLiteral("; "));
    }
    // Without a server to use the user's resolvers stay: no names at all would be worse.
    if (request.servers.isEmpty()) {
        return QString();
    }
    QStringList links;
    for (const QString& id : request.ids) {
        if (ResolverConfig::isInterfaceName(id) && !links.contains(id)) {
            links.append(id);
        }
    }
    if (links.isEmpty()) {
        links = openVpnInterfaces(host);
    }
    if (links.isEmpty()) {
        return QStringLiteral("no tunnel interface to give the DNS servers to");
    }
    for (const QString& link : qAsConst(links)) {
        if (!isTunnelDevice(host, link)) {
            return QStringLiteral("%1 is not a TUN/TAP interface").arg(link);
        }
        if (!recorded.contains(link)) {
            recorded.append(link);
        }
    }
    // Recorded first: a link half configured is still reverted.
    QString error = record(host, recorded);
    for (const QString& link : qAsConst(links)) {
        if (error.isEmpty()) {
            error = resolvectl(host, QStringList { QStringLiteral("dns"), link } + request.servers);
        }
        if (error.isEmpty()) {
            error = resolvectl(host, { QStringLiteral("domain"), link, QStringLiteral("~.") });
        }
    }
    return error;
}

} // namespace ResolvedLinks
