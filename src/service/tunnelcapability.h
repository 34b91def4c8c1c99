#pragma once

#include <QObject>
#include <QString>

class ServiceLink;

// Whether the service can make a tunnel: only the service opens the kernel's TUN device, so the
// client asks it ("query: tun") each time the link comes up, and never needs the device itself.
// Until the service has answered a tunnel counts as possible.
class TunnelCapability : public QObject
{
    Q_OBJECT

public:
    explicit TunnelCapability(ServiceLink* link, QObject* parent = nullptr);

    bool available() const;
    // Why not, as the service said it; empty while available.
    QString reason() const;
    // The service has answered since this object was made.
    bool known() const;

signals:
    void availableChanged();

private:
    void onServiceOutput(const QString& message);

    ServiceLink* link = nullptr;
    bool isAvailable = true;
    bool answered = false;
    QString why;
};
