#include "resolverconfig.h"

#include "protocol/toolwords.h"
#include "toolsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ResolverConfig {

namespace {

const QByteArray headerLine
    = "# Written by the VPN client's dns tool while the tunnel is up; \"dns user\" restores the rest.";
// Each line of the user's file after this prefix; the last one is what follows the file's last
// line end (empty when the file ends with one), so the file comes back byte for byte.
const QByteArray exactPrefix = "#vpnc-orig:";
// Written by earlier versions: whole lines, each put back with a line end.
const QByteArray linePrefix = "#vpnc-saved:";
// A resolver file is small; anything larger is not one to keep inside another.
constexpr qint64 maxFileSize = 1024 * 1024;

bool isGuidOrInterface(const QString& text)
{
    return isGuid(text) || isInterfaceName(text);
}

bool isAddress(const QString& text)
{
    return ToolSupport::isStrictIpv4(text) || ToolSupport::isStrictIpv6(text);
}

QString parseEntry(const QString& entry, Request* request)
{
    const int at = entry.indexOf(QLatin1Char('@'));
    if (at < 0 || entry.indexOf(QLatin1Char('@'), at + 1) >= 0) {
        return QStringLiteral("\"%1\" is not ID@SERVERS").arg(entry);
    }
    const QString id = entry.left(at);
    if (!isGuidOrInterface(id)) {
        return QStringLiteral("\"%1\" is neither an interface GUID in braces nor an interface name").arg(id);
    }
    const QStringList parts = entry.mid(at + 1).split(QLatin1Char(','));
    if (request->mode == Request::Vpn) {
        // One IPv4 and one IPv6 place, either of them may be empty.
        if (parts.size() != 2) {
            return QStringLiteral("\"%1\" is not ID@IPV4,IPV6").arg(entry);
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
            if (!part.isEmpty() && !isAddress(part)) {
                return QStringLiteral("\"%1\" is not an IP address").arg(part);
            }
        }
    }
    request->ids.append(id);
    request->places.append(parts);
    for (const QString& part : parts) {
        if (!part.isEmpty() && !request->servers.contains(part)) {
            request->servers.append(part);
        }
    }
    return QString();
}

} // namespace

QString parse(const QStringList& arguments, Request* request, QStringList* warnings)
{
    if (arguments.isEmpty()) {
        return QStringLiteral("no command");
    }
    if (arguments.at(0) == ToolWords::vpn) {
        request->mode = Request::Vpn;
    } else if (arguments.at(0) == ToolWords::user) {
        request->mode = Request::User;
    } else {
        return QStringLiteral("unknown command \"%1\"").arg(arguments.at(0));
    }
    for (int i = 1; i < arguments.size(); ++i) {
        const QString error = parseEntry(arguments.at(i), request);
        if (error.isEmpty()) {
            continue;
        }
        if (request->mode == Request::Vpn) {
            return error;
        }
        if (warnings != nullptr) {
            warnings->append(error + QStringLiteral(", skipped"));
        }
    }
    return QString();
}

bool isGuid(const QString& text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}")));
    return pattern.match(text).hasMatch();
}

bool isInterfaceName(const QString& text)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_.-]{1,15}")));
    return pattern.match(text).hasMatch() && text != QLatin1String(".") && text != QLatin1String("..");
}

bool isVpnConfig(const QByteArray& text)
{
    return text.startsWith(headerLine + '\n');
}

QByteArray vpnConfig(const QByteArray& current, const QStringList& servers)
{
    QByteArray text = headerLine + '\n';
    for (const QString& server : servers) {
        text += "nameserver " + server.toLatin1() + '\n';
    }
    for (const QByteArray& line : userConfig(current).split('\n')) {
        text += exactPrefix + line + '\n';
    }
    return text;
}

QByteArray userConfig(const QByteArray& current)
{
    if (!isVpnConfig(current)) {
        return current;
    }
    QList<QByteArray> exact;
    QByteArray lines;
    for (const QByteArray& line : current.split('\n')) {
        if (line.startsWith(exactPrefix)) {
            exact.append(line.mid(exactPrefix.size()));
        } else if (line.startsWith(linePrefix)) {
            lines += line.mid(linePrefix.size()) + '\n';
        }
    }
    return exact.isEmpty() ? lines : exact.join('\n');
}

QString apply(const QString& path, const Request& request, bool* changed)
{
    *changed = false;
    QFile file(path);
    QByteArray current;
    // Opened rather than asked whether it exists: a bind mount of a removed file is still there.
    if (file.open(QIODevice::ReadOnly)) {
        current = file.read(maxFileSize + 1);
        file.close();
        if (current.size() > maxFileSize) {
            return QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxFileSize);
        }
    } else if (file.error() != QFileDevice::OpenError || QFileInfo::exists(path)) {
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    }

    QByteArray wanted = current;
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
    if (file.write(wanted) != wanted.size() || !file.flush()) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    file.close();
    *changed = true;
    return QString();
}

} // namespace ResolverConfig
