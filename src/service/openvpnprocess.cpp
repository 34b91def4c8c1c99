#include "openvpnprocess.h"

#include "servicecontroller.h"
#include "servicemessage.h"

OpenVpnProcess::OpenVpnProcess(QObject* parent)
    : ServiceProcess(QStringLiteral("openvpn"), parent)
{
    setObjectName(QStringLiteral("OpenVpnProcess"));
    replacesRuns = true;
    // The service names the endpoint just before the "started:" line of the run.
    if (ServiceController* controller = ServiceController::instance()) {
        connect(controller, &ServiceController::processOutput, this, [this](const QString& output) {
            static const QString prefix = QStringLiteral("management:");
            if (output.startsWith(prefix)) {
                endpoint = output.mid(prefix.size());
            }
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
    ServiceProcess::stop(QStringLiteral("stop: <openvpn>"));
}

void OpenVpnProcess::killOpenVpn()
{
    ServiceProcess::stop(QStringLiteral("start: <kill openvpn>"));
}

void OpenVpnProcess::onProcessOutput(const QString& process, const QString& output)
{
    if (process == QLatin1String("<kill openvpn>") && ServiceMessage::parse(output).kind == ServiceMessage::Finished) {
        emit allKilled();
    }
    ServiceProcess::onProcessOutput(output);
}
