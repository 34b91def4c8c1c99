#include "invocation.h"

#include "platform/secretinput.h"

#include <QFileInfo>

using RemoteProtocol::Word;

Invocation Invocation::parse(const QStringList& arguments)
{
    Invocation invocation;
    QStringList words;
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("--json")) {
            invocation.json = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            invocation.kind = Kind::Help;
            return invocation;
        } else if (argument.startsWith(QLatin1Char('-')) && words.isEmpty()) {
            invocation.message = QStringLiteral("unknown option '%1'").arg(argument);
            return invocation;
        } else {
            words.append(argument);
        }
    }
    if (words.isEmpty()) {
        invocation.message = QStringLiteral("no command given");
        return invocation;
    }
    Word word = Word::Status;
    const QString command = words.takeFirst();
    if (!RemoteProtocol::wordFromName(command, &word)) {
        invocation.message = QStringLiteral("unknown command '%1'").arg(command);
        return invocation;
    }
    QStringList requestArguments = words;
    if ((word == Word::Connect || word == Word::Locations) && !words.isEmpty()) {
        // "korvex connect new york" names one place.
        requestArguments = QStringList { words.join(QLatin1Char(' ')) };
    } else if (word == Word::Report && words.size() == 1) {
        requestArguments = QStringList { QFileInfo(words.constFirst()).absoluteFilePath() };
    } else if (word == Word::Account && words.size() == 1) {
        QString password;
        if (!SecretInput::readLine(QStringLiteral("Password: "), RemoteProtocol::maxArgumentLength, &password)
            || password.isEmpty()) {
            invocation.kind = Kind::Failed;
            invocation.message = QStringLiteral("no password read from standard input");
            return invocation;
        }
        requestArguments.append(password);
    } else if (word == Word::Account) {
        invocation.message
            = QStringLiteral("'account' takes the user name only; the password is read from standard input");
        return invocation;
    }
    if (!RemoteProtocol::argumentsFit(word, requestArguments, &invocation.message)) {
        return invocation;
    }
    invocation.kind = Kind::Request;
    invocation.request = RemoteProtocol::Request { word, requestArguments };
    return invocation;
}

QString Invocation::usage()
{
    return QStringLiteral(
        "Usage: korvex [--json] COMMAND\n"
        "\n"
        "  status                 the connection, its location and addresses, time, traffic, lock, lockdown\n"
        "  connect [LOCATION]     connect to a city or country (or the chosen location); starts the client\n"
        "  disconnect             end the connection\n"
        "  locations [SEARCH]     the server locations, with their load\n"
        "  lock on|off            the network lock\n"
        "  lockdown on|off        block all traffic while the VPN is off\n"
        "  account USER           store the account; the password is read from standard input\n"
        "  report FILE            save a problem report\n"
        "\n"
        "  --json                 the client's answer as one JSON object\n"
        "\n"
        "Exit codes: 0 done, 1 failed, 2 bad usage, 3 not allowed, 4 timed out.\n");
}
