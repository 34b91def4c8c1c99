#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The resolver configuration (resolv.conf) while the tunnel is up: the tunnel's servers only, with
// the user's own file kept inside it as comments so that the "user" command can put it back, also
// where the file is a bind mount that can only be rewritten in place (a network namespace's).
namespace ResolverConfig {

struct Request
{
    enum Mode
    {
        Vpn,
        User
    };
    Mode mode = User;
    QStringList ids; // interface GUIDs or interface names, in order
    QStringList servers; // every server named, in order, without repeats
    QVector<QStringList> places; // each entry's servers as given, empty places kept (beside ids)
};

// "vpn ID@V4,V6 ..." or "user ID@LIST ...", where ID is a connection's GUID in braces (Windows) or an
// interface name (Linux). Returns an error text for anything else. The
// "user" entries only name what the user had: the file itself keeps the copy that is put back, so
// an entry that does not read as addresses is reported in *warnings and skipped, never a refusal.
QString parse(const QStringList& arguments, Request* request, QStringList* warnings = nullptr);

// The file while the tunnel is up. A file that is already the tunnel's keeps the user's original.
QByteArray vpnConfig(const QByteArray& current, const QStringList& servers);
// The user's original file, byte for byte, from a tunnel file; the text unchanged when it is not one.
QByteArray userConfig(const QByteArray& current);
bool isVpnConfig(const QByteArray& text);
// A connection's GUID in braces: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
bool isGuid(const QString& text);
// A Linux interface name: up to 15 plain ASCII letters, digits, '_', '.' and '-', not "." or "..".
bool isInterfaceName(const QString& text);

// Reads and rewrites the file in place. Returns an error text on failure.
QString apply(const QString& path, const Request& request, bool* changed);

} // namespace ResolverConfig
