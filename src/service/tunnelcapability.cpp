#include "tunnelcapability.h"

#include "foundation/logtag.h"
#include "protocol/serviceprotocol.h"
#include "service/servicelink.h"

namespace {
const QString tag = QStringLiteral("TunnelCapability");
} // namespace

TunnelCapability::TunnelCapability(ServiceLink* link, QObject* parent)
    : QObject(parent)
    , link(link)
{
    // Asked again at every link-up: a restarted service may be on a changed machine.
    connect(link, &ServiceLink::connected, this, [this] {
        this->link->sendCommand(ServiceProtocol::queryTun);
    });
    connect(link, &ServiceLink::processOutput, this, &TunnelCapability::onServiceOutput);
    if (link->isLinkUp()) {
        link->sendCommand(ServiceProtocol::queryTun);
    }
}

bool TunnelCapability::available() const
{
    return isAvailable;
}

QString TunnelCapability::reason() const
{
    return why;
}

bool TunnelCapability::known() const
{
    return answered;
}

void TunnelCapability::onServiceOutput(const QString& message)
{
    bool now = true;
    // A longer reason is cut: it is the service's text, shown and logged as it is.
    QString reason;
    if (!ServiceProtocol::parseTunLine(message, &now, &reason)) {
        return;
    }
    answered = true;
    if (now == isAvailable && reason == why) {
        return;
    }
    isAvailable = now;
    why = reason;
    if (isAvailable) {
        tagged(qInfo(), tag) << "TUN is available again";
    } else {
        tagged(qCritical(), tag) << "TUN is not available, no tunnel can be made: " << why;
    }
    emit availableChanged();
}
