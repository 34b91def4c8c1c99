#pragma once

#include <QLatin1Char>
#include <QString>
#include <QStringList>

// The protocol between the client and vpn-service (docs/protocol.md): one text message per
// command, one per status line. Both ends build and read the messages with these names only, so
// every byte on the wire is defined here once.
namespace ServiceProtocol {

// ---- Commands, client to service ----

inline const QString init = QStringLiteral("init: connection");
inline const QString stopOpenVpn = QStringLiteral("stop: <openvpn>");
inline const QString killOpenVpn = QStringLiteral("start: <kill openvpn>");
inline const QString queryTun = QStringLiteral("query: tun");
// The asking user's own recent lines of the service's log, for a problem report.
inline const QString queryLog = QStringLiteral("query: log");
// Followed by the program and its arguments, each in double quotes, separated by one blank.
inline const QString startPrefix = QStringLiteral("start: ");
// Followed by "off", or by "on", optionally "local", and the VPN servers' addresses.
inline const QString lockdownPrefix = QStringLiteral("lockdown: ");
inline const QString lockdownOnWord = QStringLiteral("on");
inline const QString lockdownOffWord = QStringLiteral("off");
inline const QString lockdownLocalWord = QStringLiteral("local");

constexpr int maxCommandLength = 16 * 1024;

// Quotes are not escaped: the service refuses an argument that holds one.
inline QString startCommand(const QStringList& arguments)
{
    QStringList quoted;
    quoted.reserve(arguments.size());
    for (const QString& argument : arguments) {
        quoted.append(QLatin1Char('"') + argument + QLatin1Char('"'));
    }
    return startPrefix + quoted.join(QLatin1Char(' '));
}

inline QString lockdownCommand(bool on, bool allowLocal, const QStringList& addresses)
{
    if (!on) {
        return lockdownPrefix + lockdownOffWord;
    }
    QStringList words { lockdownPrefix + lockdownOnWord };
    if (allowLocal) {
        words.append(lockdownLocalWord);
    }
    return (words + addresses).join(QLatin1Char(' '));
}

// ---- Status lines, service to client (each message ends in a line end the client strips) ----

inline const QString startedPrefix = QStringLiteral("started:");
inline const QString finishedPrefix = QStringLiteral("finished:");
inline const QString managementPrefix = QStringLiteral("management:");
inline const QString tunAvailable = QStringLiteral("tun:available");
inline const QString tunUnavailablePrefix = QStringLiteral("tun:unavailable,");
// The answer to "query: log": one "userlog:LINE" per line, oldest first, then
// "userlog-end:COUNT,VERSION" (the service's version).
inline const QString userLogLinePrefix = QStringLiteral("userlog:");
inline const QString userLogEndPrefix = QStringLiteral("userlog-end:");
inline const QString lockdownOn = QStringLiteral("lockdown:on");
inline const QString lockdownOff = QStringLiteral("lockdown:off");
// "lockdown:on,held:NAME": on, and held by the user NAME (escaped), whom alone (and root) may lift it.
inline const QString lockdownHeldPrefix = QStringLiteral("lockdown:on,held:");
constexpr int maxHolderLength = 64;
// The name in the "finished:" line that answers "init: connection".
inline const QString initName = QStringLiteral("init");
// The service escapes at most this much of a reason for a "tun:unavailable," line; the client
// keeps no more of one.
constexpr int maxReasonLength = 200;

// "started:PID,CODE,NAME" and "finished:PID,EXITCODE,NAME".
inline QString startedLine(qint64 pid, int code, const QString& name)
{
    return startedPrefix + QStringLiteral("%1,%2,%3").arg(pid).arg(code).arg(name);
}

// exitCode: unsigned, as Windows reports exit codes.
inline QString finishedLine(qint64 pid, quint32 exitCode, const QString& name)
{
    return finishedPrefix + QStringLiteral("%1,%2,%3").arg(pid).arg(exitCode).arg(name);
}

inline QString managementLine(const QString& socketPath)
{
    return managementPrefix + socketPath;
}

// reason: as the service escaped it; empty when the tunnel device is available.
inline QString tunLine(const QString& reason)
{
    return reason.isEmpty() ? tunAvailable : tunUnavailablePrefix + reason;
}

// holder: given to a user who may not lift lockdown; empty for its holder and root.
inline QString lockdownLine(bool on, const QString& holder = QString())
{
    return !on ? lockdownOff : holder.isEmpty() ? lockdownOn : lockdownHeldPrefix + holder.left(maxHolderLength);
}

// The reading of the lines the client acts on beside "started:"/"finished:" (ServiceMessage).
inline bool parseTunLine(const QString& line, bool* available, QString* reason)
{
    if (line == tunAvailable) {
        *available = true;
        reason->clear();
        return true;
    }
    if (line.startsWith(tunUnavailablePrefix)) {
        *available = false;
        *reason = line.mid(tunUnavailablePrefix.size(), maxReasonLength);
        return true;
    }
    return false;
}

// holder: empty when this user may lift it.
inline bool parseLockdownLine(const QString& line, bool* on, QString* holder)
{
    const bool held = line.startsWith(lockdownHeldPrefix) && line.size() > lockdownHeldPrefix.size();
    if (line != lockdownOn && line != lockdownOff && !held) {
        return false;
    }
    *on = line != lockdownOff;
    *holder = held ? line.mid(lockdownHeldPrefix.size(), maxHolderLength) : QString();
    return true;
}

inline bool parseManagementLine(const QString& line, QString* socketPath)
{
    if (!line.startsWith(managementPrefix)) {
        return false;
    }
    *socketPath = line.mid(managementPrefix.size());
    return true;
}

} // namespace ServiceProtocol
