// korvex: the client's command line. Exit codes: 0 done, 1 failed, 2 bad usage, 3 not allowed,
// 4 timed out.
#include "invocation.h"
#include "output.h"
#include "remotecall.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void write(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const Invocation invocation = Invocation::parse(QCoreApplication::arguments());
    switch (invocation.kind) {
    case Invocation::Kind::Help:
        write(stdout, Invocation::usage());
        return 0;
    case Invocation::Kind::Usage:
        write(stderr, QStringLiteral("korvex: %1\n\n%2").arg(invocation.message, Invocation::usage()));
        return static_cast<int>(RemoteProtocol::Outcome::Usage);
    case Invocation::Kind::Failed:
        write(stderr, QStringLiteral("korvex: %1\n").arg(invocation.message));
        return static_cast<int>(RemoteProtocol::Outcome::Failed);
    case Invocation::Kind::Request:
        break;
    }
    const QJsonObject reply = RemoteCall::run(invocation.request);
    const RemoteProtocol::Outcome outcome = RemoteProtocol::outcomeOf(reply);
    if (invocation.json) {
        write(stdout, QString::fromUtf8(RemoteProtocol::replyLine(reply)));
    } else if (outcome == RemoteProtocol::Outcome::Done) {
        write(stdout, Output::text(invocation.request.word, reply));
    } else {
        write(stderr, QStringLiteral("korvex: %1\n").arg(reply.value(QLatin1String("message")).toString()));
    }
    return static_cast<int>(outcome);
}
