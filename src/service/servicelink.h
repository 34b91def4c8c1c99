#pragma once

#include <QObject>
#include <QString>

// The client's side of the link to vpn-service as its users see it: commands go out, the service's
// lines come in. The composition root hands the one link to everything that talks to the service;
// the tests hand in a fake that records commands and plays the service's lines.
class ServiceLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Sent at once while the link is up, else queued until it is.
    virtual void sendCommand(const QString& command) = 0;
    // The link is up now: a command is sent at once rather than queued.
    virtual bool isLinkUp() const = 0;
    // The service answered this client's "init: connection": what an earlier client left (a tunnel,
    // a lock, the resolvers) is gone.
    virtual bool isInitialized() const = 0;

signals:
    void connected();
    void disconnected();
    void initialized();
    // One line of the service, without its line end.
    void processOutput(const QString& message);
};
