#include "tunnelcapability.h"

#include "foundation/logtag.h"
#include "service/servicecontroller.h"

namespace {
const QString tag = QStringLiteral("TunnelCapability");
const QString availablePrefix = QStringLiteral("tun:available");
const QString unavailablePrefix = QStringLiteral("tun:unavailable,");
// A reason longer than this is cut: it is the service's text, shown and logged as it is.
const int maxReasonLength = 200;
} // namespace

const QString TunnelCapability::query = QStringLiteral("query: tun");

TunnelCapability::TunnelCapability(ServiceController* link, QObject* parent)
    : QObject(parent)
    , link(link)
{
    if (link == nullptr) {
        return;
    }
    // Asked again at every link-up: a restarted service may be on a changed machine.
    connect(link, &ServiceController::connected, this, [this] {
        this->link->sendCommand(query);
    });
    connect(link, &ServiceController::processOutput, this, &TunnelCapability::onServiceOutput);
    if (link->isLinkUp()) {
        link->sendCommand(query);
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
    QString reason;
    if (message == availablePrefix) {
        now = true;
    } else if (message.startsWith(unavailablePrefix)) {
        now = false;
        reason = message.mid(unavailablePrefix.size(), maxReasonLength);
    } else {
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
