#include "servicelogquery.h"

#include "protocol/serviceprotocol.h"
#include "service/servicelink.h"

ServiceLogQuery::ServiceLogQuery(ServiceLink* link, QObject* parent)
    : QObject(parent)
    , link(link)
{
    connect(link, &ServiceLink::processOutput, this, &ServiceLogQuery::onServiceOutput);
    // An answer cut off by a lost link never comes; the next question asks again.
    connect(link, &ServiceLink::disconnected, this, [this] {
        waiting.clear();
    });
}

void ServiceLogQuery::ask(const Done& done)
{
    if (!link->isLinkUp()) {
        return;
    }
    waiting.append(done);
    if (waiting.size() == 1) {
        lines.clear();
        link->sendCommand(ServiceProtocol::queryLog);
    }
}

void ServiceLogQuery::onServiceOutput(const QString& message)
{
    if (waiting.isEmpty()) {
        return;
    }
    if (message.startsWith(ServiceProtocol::userLogLinePrefix)) {
        if (lines.size() < maxLines) {
            lines.append(message.mid(ServiceProtocol::userLogLinePrefix.size()));
        }
        return;
    }
    if (!message.startsWith(ServiceProtocol::userLogEndPrefix)) {
        return;
    }
    const QString version = message.mid(ServiceProtocol::userLogEndPrefix.size()).section(QLatin1Char(','), 1, 1);
    const QList<Done> answered = waiting;
    waiting.clear();
    for (const Done& done : answered) {
        done(lines, version);
    }
    lines.clear();
}
