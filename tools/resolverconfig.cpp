#include "resolverconfig.h"

#include "toolsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ResolverConfig {

namespace {

const QString headerLine
    = QStringLiteral("# Written by the VPN client's dns tool while the tunnel is up; \"dns user\" restores the rest.");
const QString savedPrefix = QStringLiteral("#vpnc-saved:");

bool isGuid(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
    return pattern.match(text).hasMatch();
}

void addServer(Request* request, const QString& server)
{
    if (!server.isEmpty() && !request->servers.contains(server)) {
        request->servers.append(server);
    }
}

QString parseEntry(const QString& entry, Request* request)
{
    const int at = entry.indexOf(QLatin1Char('@'));
    if (at < 0 || entry.indexOf(QLatin1Char('@'), at + 1) >= 0) {
        return QStringLiteral("\"%1\" is not GUID@SERVERS").arg(entry);
    }
    const QString id = entry.left(at);
    if (!isGuid(id)) {
        return QStringLiteral("\"%1\" is not an interface GUID in braces").arg(id);
    }
    const QStringList parts = entry.mid(at + 1).split(QLatin1Char(','));
    if (request->mode == Request::Vpn) {
        // One IPv4 and one IPv6 place, either of them may be empty.
        if (parts.size() != 2) {
            return QStringLiteral("\"%1\" is not GUID@IPV4,IPV6").arg(entry);
        }
        if (!parts.at(0).isEmpty() && !ToolSupport::isStrictIpv4(parts.at(0))) {
            return QStringLiteral("\"%1\" is not an IPv4 address").arg(parts.at(0));
        }
        if (!parts.at(1).isEmpty() && !ToolSupport::isStrictIpv6(parts.at(1))) {
            return QStringLiteral("\"%1\" is not an IPv6 address").arg(parts.at(1));
        }
    } else {
        // The user's list as the registry holds it: empty places are tolerated, nothing else.
        for (const QString& part : parts) {
            if (!part.isEmpty() && !ToolSupport::isStrictIpv4(part) && !ToolSupport::isStrictIpv6(part)) {
                return QStringLiteral("\"%1\" is not an IP address").arg(part);
            }
        }
    }
    request->ids.append(id);
    for (const QString& part : parts) {
        addServer(request, part);
    }
    return QString();
}

QStringList linesOf(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

} // namespace

QString parse(const QStringList& arguments, Request* request)
{
    if (arguments.isEmpty()) {
        return QStringLiteral("no command");
    }
    if (arguments.at(0) == QLatin1String("vpn")) {
        request->mode = Request::Vpn;
    } else if (arguments.at(0) == QLatin1String("user")) {
        request->mode = Request::User;
    } else {
        return QStringLiteral("unknown command \"%1\"").arg(arguments.at(0));
    }
    for (int i = 1; i < arguments.size(); ++i) {
        const QString error = parseEntry(arguments.at(i), request);
        if (!error.isEmpty()) {
            return error;
        }
    }
    return QString();
}

bool isVpnConfig(const QString& text)
{
    return text.startsWith(headerLine + QLatin1Char('\n'));
}

QString vpnConfig(const QString& current, const QStringList& servers)
{
    const QString original = userConfig(current);
    QStringList lines { headerLine };
    for (const QString& server : servers) {
        lines.append(QStringLiteral("nameserver %1").arg(server));
    }
    const QStringList originalLines = linesOf(original);
    for (const QString& line : originalLines) {
        lines.append(savedPrefix + line);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString userConfig(const QString& current)
{
    if (!isVpnConfig(current)) {
        return current;
    }
    QStringList original;
    const QStringList lines = linesOf(current);
    for (const QString& line : lines) {
        if (line.startsWith(savedPrefix)) {
            original.append(line.mid(savedPrefix.size()));
        }
    }
    return original.isEmpty() ? QString() : original.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString apply(const QString& path, const Request& request, bool* changed)
{
    *changed = false;
    QFile file(path);
    QString current;
    // Opened rather than asked whether it exists: a bind mount of a removed file is still there.
    if (file.open(QIODevice::ReadOnly)) {
        current = QString::fromUtf8(file.readAll());
        file.close();
    } else if (file.error() != QFileDevice::OpenError || QFileInfo::exists(path)) {
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    }

    QString wanted = current;
    if (request.mode == Request::Vpn) {
        // Without a server to use the user's resolver stays: no names at all would be worse.
        if (!request.servers.isEmpty()) {
            wanted = vpnConfig(current, request.servers);
        }
    } else {
        wanted = userConfig(current);
    }
    if (wanted == current) {
        return QString();
    }
    // In place rather than by rename: a namespace's resolv.conf is a bind mount.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    const QByteArray data = wanted.toUtf8();
    if (file.write(data) != data.size() || !file.flush()) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    file.close();
    *changed = true;
    return QString();
}

} // namespace ResolverConfig
