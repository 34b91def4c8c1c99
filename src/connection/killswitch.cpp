#include "killswitch.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "platform/programpaths.h"
#include "protocol/toolwords.h"
#include "service/servicelink.h"

#include <utility>

KillSwitch::KillSwitch(ServiceLink* link, QObject* parent)
    : QObject(parent)
    , toolProcess(QStringLiteral("killswitch"), link)
{
    setObjectName(QStringLiteral("KillSwitch"));
    connect(&toolProcess, &ServiceProcess::started, this, &KillSwitch::onKillSwitchProcessStarted);
    connect(&toolProcess, &ServiceProcess::finished, this, &KillSwitch::onKillSwitchProcessFinished);
    connect(&toolProcess, &ServiceProcess::replacedRunFinished, this, &KillSwitch::onKillSwitchProcessFinished);
    connect(&toolProcess, &ServiceProcess::error, this, &KillSwitch::onRunFailed);
    connect(link, &ServiceLink::disconnected, this, &KillSwitch::onServiceLinkDown);
}

bool KillSwitch::isProtectionEnabled() const
{
    return protectionEnabled;
}

void KillSwitch::enableProtection(const QString& internalIp, const QString& publicIp, bool allowLocalDevices)
{
    tagged(qInfo(), objectName()) << "Enable protection, VPN internal IP '" << internalIp << "', VPN public IP: '"
                                  << publicIp << "', allow local devices: '" << Utils::boolToString(allowLocalDevices)
                                  << "'";
    toolProcess.start(enableArguments(publicIp, allowLocalDevices));
    // What the client asked for, not what the tool achieved.
    const bool engaged = !protectionEnabled;
    protectionEnabled = true;
    server = publicIp;
    localDevices = allowLocalDevices;
    if (engaged) {
        emit protectionChanged(true);
    }
}

QString KillSwitch::protectedServer() const
{
    return protectionEnabled ? server : QString();
}

void KillSwitch::onServiceLinkDown()
{
    if (!protectionEnabled) {
        return;
    }
    tagged(qInfo(), objectName()) << "Service link lost, asking for the lock again";
    toolProcess.start(enableArguments(server, localDevices));
}

void KillSwitch::disableProtection()
{
    const bool lifted = protectionEnabled;
    protectionEnabled = false;
    server.clear();
    tagged(qInfo(), objectName()) << "Disable protection";
    toolProcess.start(disableArguments());
    if (lifted) {
        emit protectionChanged(false);
    }
}

void KillSwitch::guardTunnel(const QString& publicIp, bool allowLocalDevices)
{
    tagged(qInfo(), objectName()) << "Guard the tunnel to '" << publicIp << "', allow local devices: '"
                                  << Utils::boolToString(allowLocalDevices) << "'";
    toolProcess.start(guardArguments(publicIp, allowLocalDevices));
}

QString KillSwitch::killSwitchToolPath()
{
    return ProgramPaths::killSwitch();
}

QStringList KillSwitch::enableArguments(const QString& publicIp, bool allowLocalDevices)
{
    return QStringList { killSwitchToolPath() } + ToolWords::enableLock(publicIp, allowLocalDevices);
}

QStringList KillSwitch::guardArguments(const QString& publicIp, bool allowLocalDevices)
{
    return QStringList { killSwitchToolPath() } + ToolWords::enableTunnelGuard(publicIp, allowLocalDevices);
}

QStringList KillSwitch::disableArguments()
{
    return QStringList { killSwitchToolPath() } + ToolWords::disableAll();
}

void KillSwitch::onKillSwitchProcessFinished(int exitCode)
{
    emit killSwitchFinished(exitCode == 0);
    tagged(qInfo(), objectName()) << "Process finished with code: " << exitCode;
    if (exitCode != 0) {
        onRunFailed(exitCode);
    }
}

void KillSwitch::onRunFailed(int code)
{
    tagged(qCritical(), objectName()) << "The tool did not do its work (code " << code << ")";
    if (std::exchange(protectionEnabled, false)) {
        server.clear();
        emit protectionChanged(false);
        emit failed();
    }
}

void KillSwitch::onKillSwitchProcessStarted() { }
