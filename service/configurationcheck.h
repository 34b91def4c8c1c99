#pragma once

#include <QByteArray>
#include <QString>

// The check of an OpenVPN configuration the client names, before OpenVPN runs it with full
// rights: only directives of the allow-list (what the client's template and its additional
// directives produce), in a plain form that OpenVPN reads the same way the check did, and only
// the deployment's own inline keys.
namespace ConfigurationCheck {

// Checks the text and writes the copy OpenVPN gets. The management directive must appear once and
// name a password file; passwordFile receives that name and the copy names passwordCopy instead.
// With a socket, the copy's management interface is that Unix socket instead, open to clientUser
// alone.
bool check(const QByteArray& text, const QString& passwordCopy, QByteArray* copy, QString* passwordFile, QString* error,
    const QString& socket = QString(), const QString& clientUser = QString());
// The secret of a management password file: one line of letters and digits, long enough not to be
// guessed.
bool checkSecret(const QByteArray& text, QByteArray* secret, QString* error);

// The client's template with its keys has about sixty.
constexpr int maxLines = 400;
// OpenVPN reads a longer line in pieces, and takes the rest for a line of its own.
constexpr int maxLineLength = 250;
constexpr int minSecretLength = 32;
constexpr int maxSecretLength = 128;
// Where the client's template has OpenVPN listen; nowhere else, so that no port of another
// service (or a privileged one) can be taken.
constexpr quint16 managementPort = 61973;

} // namespace ConfigurationCheck
