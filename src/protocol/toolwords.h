#pragma once

#include <QString>
#include <QStringList>

// The argument words of the two tools the service runs (killswitch and dns) and the shapes of
// their command lines. The client builds its requests with these, the service builds its own runs
// and filters the client's with them, and the tools parse them: a word changed here changes every
// side at once. The shapes are the arguments after the program.
namespace ToolWords {

// ---- killswitch ----

inline const QString enable = QStringLiteral("enable");
inline const QString disable = QStringLiteral("disable");
// The lock when enabled; every table when disabled.
inline const QString all = QStringLiteral("all");
// The lock alone, when disabled.
inline const QString lock = QStringLiteral("lock");
inline const QString tunnel = QStringLiteral("tunnel");
inline const QString lockdown = QStringLiteral("lockdown");
// Last: the local network stays reachable.
inline const QString local = QStringLiteral("local");

// "enable all SERVER LOCAL" and "enable tunnel SERVER LOCAL": the last word is always there, empty
// when the local network is locked out too.
inline QStringList enableLock(const QString& server, bool allowLocal)
{
    return { enable, all, server, allowLocal ? local : QString() };
}

inline QStringList enableTunnelGuard(const QString& server, bool allowLocal)
{
    return { enable, tunnel, server, allowLocal ? local : QString() };
}

// "enable lockdown ADDRESS... [local]"
inline QStringList enableLockdown(const QStringList& addresses, bool allowLocal)
{
    QStringList arguments = QStringList { enable, lockdown } + addresses;
    if (allowLocal) {
        arguments.append(local);
    }
    return arguments;
}

inline QStringList disableAll()
{
    return { disable, all };
}

inline QStringList disableLock()
{
    return { disable, lock };
}

inline QStringList disableTunnelGuard()
{
    return { disable, tunnel };
}

inline QStringList disableLockdown()
{
    return { disable, lockdown };
}

// ---- dns ----

inline const QString vpn = QStringLiteral("vpn");
inline const QString user = QStringLiteral("user");

// "vpn ID@V4,V6 ..." and "user [ID@LIST ...]".
inline QStringList dnsVpn(const QStringList& entries)
{
    return QStringList { vpn } + entries;
}

inline QStringList dnsUser(const QStringList& entries = {})
{
    return QStringList { user } + entries;
}

} // namespace ToolWords
