#include "remoteprotocol.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <cctype>

namespace RemoteProtocol {

namespace {

struct Shape
{
    Word word;
    const char* name;
    int minArguments;
    int maxArguments;
};

constexpr std::array<Shape, 8> shapes { {
    { Word::Status, "status", 0, 0 },
    { Word::Connect, "connect", 0, 1 },
    { Word::Disconnect, "disconnect", 0, 0 },
    { Word::Locations, "locations", 0, 1 },
    { Word::Lock, "lock", 1, 1 },
    { Word::Lockdown, "lockdown", 1, 1 },
    { Word::Account, "account", 2, 2 },
    { Word::Report, "report", 1, 1 },
} };

const Shape& shapeOf(Word word)
{
    for (const Shape& shape : shapes) {
        if (shape.word == word) {
            return shape;
        }
    }
    return shapes.front();
}

constexpr std::array<const char*, 5> outcomeNames { "done", "failed", "usage", "not-allowed", "timed-out" };

bool isTokenByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~' || c == '%';
}

// Percent-decodes one token strictly: every '%' starts two hex digits, the result is valid UTF-8
// without control characters.
bool decodeArgument(const QByteArray& token, QString* argument)
{
    QByteArray bytes;
    for (int i = 0; i < token.size(); ++i) {
        if (token.at(i) != '%') {
            bytes.append(token.at(i));
            continue;
        }
        if (i + 2 >= token.size() || !isxdigit(static_cast<unsigned char>(token.at(i + 1)))
            || !isxdigit(static_cast<unsigned char>(token.at(i + 2)))) {
            return false;
        }
        const int value = token.mid(i + 1, 2).toInt(nullptr, 16);
        bytes.append(static_cast<char>(value));
        i += 2;
    }
    if (bytes.isEmpty() || bytes.size() > maxArgumentLength) {
        return false;
    }
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        return false;
    }
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            return false;
        }
    }
    *argument = text;
    return true;
}

} // namespace

QString wordName(Word word)
{
    return QString::fromLatin1(shapeOf(word).name);
}

QStringList wordNames()
{
    QStringList names;
    for (const Shape& shape : shapes) {
        names.append(QString::fromLatin1(shape.name));
    }
    return names;
}

bool wordFromName(const QString& name, Word* word)
{
    for (const Shape& shape : shapes) {
        if (name == QLatin1String(shape.name)) {
            *word = shape.word;
            return true;
        }
    }
    return false;
}

bool argumentsFit(Word word, const QStringList& arguments, QString* error)
{
    const Shape& shape = shapeOf(word);
    if (arguments.size() < shape.minArguments || arguments.size() > shape.maxArguments) {
        *error = QStringLiteral("'%1' takes %2 to %3 arguments")
                     .arg(QLatin1String(shape.name))
                     .arg(shape.minArguments)
                     .arg(shape.maxArguments);
        return false;
    }
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.toUtf8().size() > maxArgumentLength) {
            *error = QStringLiteral("an argument is empty or longer than %1 bytes").arg(maxArgumentLength);
            return false;
        }
    }
    if ((word == Word::Lock || word == Word::Lockdown) && arguments.constFirst() != QLatin1String("on")
        && arguments.constFirst() != QLatin1String("off")) {
        *error = QStringLiteral("'%1' takes 'on' or 'off'").arg(QLatin1String(shape.name));
        return false;
    }
    if (word == Word::Report && !arguments.constFirst().startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("'report' takes an absolute path");
        return false;
    }
    return true;
}

Parsed parseRequest(const QByteArray& line)
{
    Parsed parsed;
    if (line.isEmpty() || line.size() > maxRequestLength) {
        parsed.error = QStringLiteral("a request line holds 1 to %1 bytes").arg(maxRequestLength);
        return parsed;
    }
    const QList<QByteArray> tokens = line.split(' ');
    QStringList arguments;
    for (int i = 0; i < tokens.size(); ++i) {
        const QByteArray& token = tokens.at(i);
        for (const char c : token) {
            if (!isTokenByte(c)) {
                parsed.error = QStringLiteral("a request line holds only words and percent-encoded arguments");
                return parsed;
            }
        }
        QString argument;
        if (i > 0 && !decodeArgument(token, &argument)) {
            parsed.error = QStringLiteral("argument %1 is not valid percent-encoded text").arg(i);
            return parsed;
        }
        if (i > 0) {
            arguments.append(argument);
        }
    }
    if (!wordFromName(QString::fromLatin1(tokens.constFirst()), &parsed.request.word)) {
        parsed.error = QStringLiteral("unknown word");
        return parsed;
    }
    if (!argumentsFit(parsed.request.word, arguments, &parsed.error)) {
        return parsed;
    }
    parsed.request.arguments = arguments;
    parsed.ok = true;
    return parsed;
}

QByteArray requestLine(Word word, const QStringList& arguments)
{
    QByteArray line = shapeOf(word).name;
    for (const QString& argument : arguments) {
        line += ' ' + argument.toUtf8().toPercentEncoding();
    }
    return line + '\n';
}

QString outcomeName(Outcome outcome)
{
    return QString::fromLatin1(outcomeNames.at(static_cast<size_t>(outcome)));
}

Outcome outcomeOf(const QJsonObject& reply)
{
    const QString name = reply.value(QStringLiteral("result")).toString();
    for (size_t i = 0; i < outcomeNames.size(); ++i) {
        if (name == QLatin1String(outcomeNames.at(i))) {
            return static_cast<Outcome>(i);
        }
    }
    return Outcome::Failed;
}

QJsonObject reply(Outcome outcome, const QString& message)
{
    QJsonObject object { { QStringLiteral("result"), outcomeName(outcome) } };
    if (!message.isEmpty()) {
        object.insert(QStringLiteral("message"), message);
    }
    return object;
}

QByteArray replyLine(const QJsonObject& reply)
{
    return QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n';
}

bool parseReply(const QByteArray& line, QJsonObject* reply, QString* error)
{
    if (line.size() > maxReplyLength) {
        *error = QStringLiteral("the client's answer is too long");
        return false;
    }
    QJsonParseError parseError {};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    const bool known = std::any_of(outcomeNames.begin(), outcomeNames.end(), [&document](const char* name) {
        return document.object().value(QStringLiteral("result")).toString() == QLatin1String(name);
    });
    if (parseError.error != QJsonParseError::NoError || !document.isObject() || !known) {
        *error = QStringLiteral("the client's answer cannot be read");
        return false;
    }
    *reply = document.object();
    return true;
}

} // namespace RemoteProtocol
