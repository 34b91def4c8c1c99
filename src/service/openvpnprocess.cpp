#include "openvpnprocess.h"

#include "protocol/serviceprotocol.h"
#include "servicecontroller.h"

OpenVpnProcess::OpenVpnProcess(QObject* parent)
    : ServiceProcess(QStringLiteral("openvpn"), parent)
{
    setObjectName(QStringLiteral("OpenVpnProcess"));
    replacesRuns = true;
    // The service names the endpoint just before the "started:" line of the run.
    if (ServiceController* controller = ServiceController::instance()) {
        connect(controller, &ServiceController::processOutput, this, [this](const QString& output) {
            ServiceProtocol::parseManagementLine(output, &endpoint);
        });
    }
}

void OpenVpnProcess::start(const QStringList& arguments)
{
    endpoint.clear();
    ServiceProcess::start(startCommand(arguments));
}

QString OpenVpnProcess::managementEndpoint() const
{
    return endpoint;
}

void OpenVpnProcess::stop(const QString& command)
{
    Q_UNUSED(command)
    ServiceProcess::stop(ServiceProtocol::stopOpenVpn);
}

void OpenVpnProcess::killOpenVpn()
{
    ServiceProcess::stop(ServiceProtocol::killOpenVpn);
}
