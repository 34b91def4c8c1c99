#include "reconnection.h"

#include "foundation/logtag.h"
#include "openvpn/openvpnclient.h"
#include "settings/settings.h"

#include <utility>

namespace {
// Its lines are the connection controller's.
const QString tag = QStringLiteral("VpnCore");
} // namespace

Reconnection::Reconnection(Settings* settings, QObject* parent)
    : QObject(parent)
    , enabled(settings->autoReconnectToVpn())
{
    timer.setSingleShot(true);
    timer.setInterval(delay);
    connect(&timer, &QTimer::timeout, this, &Reconnection::due);
    connect(settings, &Settings::autoReconnectToVpnChanged, this, [this](bool on) {
        enabled = on;
    });
}

bool Reconnection::afterLoss(const QString& additionalData, bool critical)
{
    if (additionalData != OpenVpnClient::crashMarker) {
        return false;
    }
    if (critical) {
        if (enabled) {
            tagged(qCritical(), tag) << "Critical error, reconnection is now allowed!";
        }
        return false;
    }
    if (!enabled) {
        return false;
    }
    ++attempts;
    if (attempts > maxAttempts) {
        tagged(qInfo(), tag) << "Can't reconnect after 3 attempts...";
        attempts = 0;
        emit gaveUp();
        return false;
    }
    tagged(qInfo(), tag) << QStringLiteral("Going to reconnection...%1").arg(attempts);
    emit retrying(attempts);
    return true;
}

void Reconnection::schedule()
{
    timer.start();
}

bool Reconnection::isPending() const
{
    return timer.isActive();
}

bool Reconnection::cancel()
{
    if (!timer.isActive()) {
        return false;
    }
    timer.stop();
    return true;
}

void Reconnection::reset()
{
    cancel();
    attempts = 0;
}

bool Reconnection::tunnelUp()
{
    return std::exchange(attempts, 0) > 0;
}
