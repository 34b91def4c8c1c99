#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The line protocol between the command line (korvex) and the running client, on the client's local
// socket (docs/remote.md). One request line, one reply line, then the connection ends. Both ends
// build and read the lines here only; the client treats every request line as hostile.
//
// Request: WORD [ARGUMENT]... LF, one blank between tokens, each argument percent-encoded UTF-8 (so it
// holds no blank and no control character). Reply: one JSON object, LF; "result" names the outcome
// and the command line's exit code.
namespace RemoteProtocol {

enum class Word
{
    Status,
    Connect,
    Disconnect,
    Locations,
    Lock,
    Lockdown,
    Account,
    Report
};

// The outcome of a request, and the command line's exit code for it.
enum class Outcome
{
    Done = 0,
    Failed = 1,
    Usage = 2,
    NotAllowed = 3,
    TimedOut = 4
};

struct Request
{
    Word word = Word::Status;
    QStringList arguments;
};

struct Parsed
{
    bool ok = false;
    Request request;
    // Why the line was refused, for the reply.
    QString error;
};

// A request line, its LF excluded.
constexpr int maxRequestLength = 4096;
// One decoded argument, in bytes of UTF-8.
constexpr int maxArgumentLength = 1024;
// A reply line, its LF excluded: the longest is the list of locations.
constexpr int maxReplyLength = 1024 * 1024;

QString wordName(Word word);
// The words in the order of the manual, for usage texts and completion.
QStringList wordNames();
bool wordFromName(const QString& name, Word* word);

// The request line without its LF; strict: anything not exactly as described is refused.
Parsed parseRequest(const QByteArray& line);
// A request line with its LF. The arguments must be what parseRequest accepts back.
QByteArray requestLine(Word word, const QStringList& arguments);
// Whether the arguments fit the word (count and form), and why not.
bool argumentsFit(Word word, const QStringList& arguments, QString* error);

QString outcomeName(Outcome outcome);
// The outcome a reply names; Failed for a name it does not know.
Outcome outcomeOf(const QJsonObject& reply);
QJsonObject reply(Outcome outcome, const QString& message = QString());
QByteArray replyLine(const QJsonObject& reply);
// A reply line without its LF: one JSON object with a known result, within the bound.
bool parseReply(const QByteArray& line, QJsonObject* reply, QString* error);

} // namespace RemoteProtocol
