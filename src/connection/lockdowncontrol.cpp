#include "lockdowncontrol.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "protocol/serviceprotocol.h"
#include "service/servicelink.h"
#include "settings/settings.h"

LockdownControl::LockdownControl(ServiceLink* link, QObject* parent)
    : QObject(parent)
    , link(link)
    , settings(Settings::instance())
{
    setObjectName(QStringLiteral("LockdownControl"));
    connect(link, &ServiceLink::processOutput, this, &LockdownControl::onServiceOutput);
    // The state line that follows the answer to "init: connection" answers no command of ours.
    connect(link, &ServiceLink::initialized, this, [this] {
        initReportNext = true;
    });
    // Commands lost with the link are answered by no one.
    connect(link, &ServiceLink::disconnected, this, [this] {
        unanswered = 0;
    });
    connect(settings, &Settings::lockdownEnabledChanged, this, &LockdownControl::sendWhenChanged);
    connect(settings, &Settings::allowAccessToLocalDevicesChanged, this, &LockdownControl::sendWhenChanged);
    // A lockdown the user chose stays chosen: a client that starts asks for it (the service may
    // have lost it, or another user turned it off meanwhile).
    sendWhenChanged();
}

bool LockdownControl::isOn() const
{
    return serviceOn;
}

QString LockdownControl::holder() const
{
    return heldBy;
}

bool LockdownControl::blocksTraffic() const
{
    return blocking;
}

void LockdownControl::setTunnelUp(bool up)
{
    tunnelUp = up;
    updateBlocking();
}

void LockdownControl::updateBlocking()
{
    if (const bool now = serviceOn && !tunnelUp; now != blocking) {
        blocking = now;
        emit blockingChanged(blocking);
    }
}

void LockdownControl::setServers(const Servers& servers)
{
    QStringList list;
    for (const Server& server : servers) {
        // Only what the tools take: the canonical form of an address.
        const QString address = Utils::canonicalAddress(server.ip);
        if (!address.isEmpty() && !list.contains(address)) {
            list.append(address);
        }
    }
    if (list.isEmpty() || list == addresses) {
        return;
    }
    addresses = list;
    sendWhenChanged();
}

QString LockdownControl::command(bool on, bool allowLocal, const QStringList& addresses)
{
    return ServiceProtocol::lockdownCommand(on, allowLocal, addresses);
}

void LockdownControl::onServiceOutput(const QString& message)
{
    bool on = false;
    QString holder;
    if (!ServiceProtocol::parseLockdownLine(message, &on, &holder)) {
        return;
    }
    if (holder != heldBy) {
        heldBy = holder;
        tagged(qInfo(), objectName()) << "Lockdown held by " << (holder.isEmpty() ? QStringLiteral("us") : holder);
        emit holderChanged(holder);
    }
    // Each command of ours is answered by one such line (to every client).
    if (initReportNext) {
        initReportNext = false;
    } else if (unanswered > 0) {
        --unanswered;
    }
    const bool changedNow = on != serviceOn;
    serviceOn = on;
    if (changedNow) {
        tagged(qInfo(), objectName()) << "Lockdown " << (on ? "on" : "off");
        updateBlocking();
    }
    if (unanswered > 0) {
        return; // a state our commands under way are about to change
    }
    // The service has the last word: another client may have turned lockdown on or off. Turned on
    // elsewhere, it still lets through the servers of our list.
    settings->setLockdownEnabled(on);
    sendWhenChanged();
}

void LockdownControl::sendWhenChanged()
{
    QString next;
    if (settings->lockdownEnabled()) {
        next = command(true, settings->allowAccessToLocalDevices(), addresses);
        if (serviceOn && next == lastSent) {
            return;
        }
    } else if (serviceOn) {
        next = command(false, false, {});
    } else {
        return;
    }
    lastSent = next;
    ++unanswered;
    tagged(qInfo(), objectName()) << "Asking for lockdown " << (settings->lockdownEnabled() ? "on" : "off") << " with "
                                  << addresses.size() << " VPN server address(es)";
    link->sendCommand(next);
}
