#pragma once

#include "servers/server.h"

#include <QObject>
#include <QString>
#include <QStringList>

class ServiceLink;
class Settings;

// Lockdown as the client sees it: the service holds it (from its own start, with or without a
// client) and says whether it is on, and the client's setting follows what it says. The client asks
// the service for lockdown when the user turns it on or off, and when it starts with the setting
// on. While it is on, the VPN servers of each new server list go to the service, which lets them
// through.
class LockdownControl : public QObject
{
    Q_OBJECT

public:
    explicit LockdownControl(ServiceLink* link, QObject* parent = nullptr);

    // On, as the service last said.
    bool isOn() const;
    // The user who holds lockdown, when it is another's and this user cannot lift it; else empty.
    QString holder() const;
    // On while no tunnel is up: nothing but what lockdown lets through is reachable.
    bool blocksTraffic() const;
    void setTunnelUp(bool up);
    // The list's VPN server addresses, for lockdown to let through.
    void setServers(const Servers& servers);

    // "lockdown: off", or "lockdown: on" [" local"] and the addresses.
    static QString command(bool on, bool allowLocal, const QStringList& addresses);

signals:
    void holderChanged(const QString& holder);
    void blockingChanged(bool blocking);

private:
    void onServiceOutput(const QString& message);
    // Asks the service for what the setting says, when that differs from what it holds.
    void sendWhenChanged();
    void updateBlocking();

    ServiceLink* link;
    Settings* settings;
    bool serviceOn = false;
    QString heldBy;
    bool tunnelUp = false;
    bool blocking = false;
    QStringList addresses;
    // The command the service last heard from us.
    QString lastSent;
    int unanswered = 0;
    bool initReportNext = false;
};
