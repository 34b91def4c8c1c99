#include "openvpnprocess.h"

#include "servicemessage.h"

OpenVpnProcess::OpenVpnProcess(QObject* parent)
    : ServiceProcess(QStringLiteral("openvpn"), parent)
{
    setObjectName(QStringLiteral("OpenVpnProcess"));
    replacesRuns = true;
}

void OpenVpnProcess::start(const QStringList& arguments)
{
    ServiceProcess::start(startCommand(arguments));
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
