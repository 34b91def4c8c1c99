#pragma once

#include "serviceprocess.h"

// The OpenVPN program as vpn-service runs it: a service process named "openvpn" with its own
// graceful stop and a kill command.
class OpenVpnProcess : public ServiceProcess
{
    Q_OBJECT

public:
    explicit OpenVpnProcess(ServiceLink* link, QObject* parent = nullptr);

    using ServiceProcess::start;
    void start(const QStringList& arguments);
    void killOpenVpn();
    // Where the service said the current run's management interface is (a Unix socket); empty
    // when it named none, and then it is where the configuration's directive has it.
    QString managementEndpoint() const;

public slots:
    void stop(const QString& command) override;

private:
    QString endpoint;
};
