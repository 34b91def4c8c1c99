#include "openvpnprocess.h"

#include "protocol/serviceprotocol.h"
#include "servicelink.h"

OpenVpnProcess::OpenVpnProcess(ServiceLink* link, QObject* parent)
    : ServiceProcess(QStringLiteral("openvpn"), link, parent)
{
    setObjectName(QStringLiteral("OpenVpnProcess"));
    replacesRuns = true;
    // The service names the endpoint just before the "started:" line of the run.
    connect(link, &ServiceLink::processOutput, this, [this](const QString& output) {
        ServiceProtocol::parseManagementLine(output, &endpoint);
    });
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
