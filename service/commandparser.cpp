#include "commandparser.h"

#include "lockdownmode.h"

namespace {

Command invalid(const QString& error)
{
    Command command;
    command.error = error;
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
    if (text == QLatin1String("init: connection")) {
        command.kind = Init;
        return command;
    }
    if (text == QLatin1String("stop: <openvpn>")) {
        command.kind = StopOpenVpn;
        return command;
    }
    if (text == QLatin1String("start: <kill openvpn>")) {
        command.kind = KillOpenVpn;
        return command;
    }
    if (text == QLatin1String("query: tun")) {
        command.kind = QueryTun;
        return command;
    }

    static const QString lockdownPrefix = QStringLiteral("lockdown: ");
    if (text.startsWith(lockdownPrefix)) {
        const QStringList words = text.mid(lockdownPrefix.size()).split(QLatin1Char(' '));
        if (words.first() == QLatin1String("off") && words.size() == 1) {
            command.kind = Lockdown;
            return command;
        }
        if (words.first() != QLatin1String("on")) {
            return invalid(QStringLiteral("lockdown is \"on\" or \"off\""));
        }
        command.allowLocal = words.value(1) == QLatin1String("local");
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
        command.kind = Lockdown;
        command.on = true;
        return command;
    }

    static const QString startPrefix = QStringLiteral("start: ");
    if (!text.startsWith(startPrefix)) {
        return invalid(QStringLiteral("unknown command"));
    }

    // "arg" ( ' ' "arg" )* -- quotes are not escaped by the client, so a quote can only open
    // or close an argument; anything else between arguments makes the command ambiguous.
    const QChar quote = QLatin1Char('"');
    int pos = startPrefix.size();
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
    command.kind = Start;
    return command;
}
