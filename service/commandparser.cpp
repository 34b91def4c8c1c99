#include "commandparser.h"

#include "lockdownmode.h"
#include "protocol/serviceprotocol.h"

namespace {

Command invalid(const QString& error)
{
    Command command;
    command.error = error;
    return command;
}

Command parseLockdown(const QString& rest)
{
    Command command;
    const QStringList words = rest.split(QLatin1Char(' '));
    if (words.first() == ServiceProtocol::lockdownOffWord && words.size() == 1) {
        command.kind = Command::Lockdown;
        return command;
    }
    if (words.first() != ServiceProtocol::lockdownOnWord) {
        return invalid(QStringLiteral("lockdown is \"on\" or \"off\""));
    }
    command.allowLocal = words.value(1) == ServiceProtocol::lockdownLocalWord;
    command.arguments = words.mid(command.allowLocal ? 2 : 1);
    if (command.arguments.size() > LockdownMode::maxServers) {
        return invalid(QStringLiteral("too many addresses"));
    }
    for (const QString& address : command.arguments) {
        if (!LockdownMode::isAddress(address)) {
            return invalid(QStringLiteral("not an address in canonical form"));
        }
    }
    command.arguments.removeDuplicates();
    command.kind = Command::Lockdown;
    command.on = true;
    return command;
}

// text: "start: " and what follows.
Command parseStart(const QString& text)
{
    Command command;
    // "arg" ( ' ' "arg" )* -- quotes are not escaped by the client, so a quote can only open
    // or close an argument; anything else between arguments makes the command ambiguous.
    const QChar quote = QLatin1Char('"');
    int pos = ServiceProtocol::startPrefix.size();
    if (pos == text.size()) {
        return invalid(QStringLiteral("no program"));
    }
    while (true) {
        if (text.at(pos) != quote) {
            return invalid(QStringLiteral("argument not in double quotes"));
        }
        const int close = text.indexOf(quote, pos + 1);
        if (close < 0) {
            return invalid(QStringLiteral("unbalanced quotes"));
        }
        command.arguments.append(text.mid(pos + 1, close - pos - 1));
        pos = close + 1;
        if (pos == text.size()) {
            break;
        }
        if (text.at(pos) != QLatin1Char(' ') || pos + 1 == text.size()) {
            return invalid(QStringLiteral("arguments not separated by one blank"));
        }
        ++pos;
    }
    if (command.arguments.first().isEmpty()) {
        return invalid(QStringLiteral("empty program path"));
    }
    // Addresses, names and options are plain ASCII: a Unicode blank or look-alike would pass a
    // lenient address parser further on. Only the files OpenVPN is given may have names in any
    // script, as user folders do; the service opens those itself.
    for (int index = 0; index < command.arguments.size(); ++index) {
        const bool fileName = index > 0
            && (command.arguments.at(index - 1) == QLatin1String("--config")
                || command.arguments.at(index - 1) == QLatin1String("--log-append"));
        for (const QChar c : command.arguments.at(index)) {
            if (c.unicode() > 0x7e && !fileName) {
                return invalid(QStringLiteral("non-ASCII character in argument %1").arg(index));
            }
        }
    }
    command.kind = Command::Start;
    return command;
}

} // namespace

Command Command::parse(const QString& text)
{
    if (text.size() > maxLength) {
        return invalid(QStringLiteral("command too long"));
    }
    for (const QChar c : text) {
        // NUL, line ends and other control characters have no place in a command; a program
        // argument that carries them is far more likely an attack than a need.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return invalid(QStringLiteral("control character in command"));
        }
    }

    Command command;
    if (text == ServiceProtocol::init) {
        command.kind = Init;
        return command;
    }
    if (text == ServiceProtocol::stopOpenVpn) {
        command.kind = StopOpenVpn;
        return command;
    }
    if (text == ServiceProtocol::killOpenVpn) {
        command.kind = KillOpenVpn;
        return command;
    }
    if (text == ServiceProtocol::queryTun) {
        command.kind = QueryTun;
        return command;
    }
    if (text == ServiceProtocol::queryLog) {
        command.kind = QueryLog;
        return command;
    }

    if (text.startsWith(ServiceProtocol::lockdownPrefix)) {
        return parseLockdown(text.mid(ServiceProtocol::lockdownPrefix.size()));
    }
    if (!text.startsWith(ServiceProtocol::startPrefix)) {
        return invalid(QStringLiteral("unknown command"));
    }
    return parseStart(text);
}
