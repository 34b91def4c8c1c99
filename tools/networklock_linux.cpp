// The Linux side of the network lock: the request's nftables script, applied by nft in one transaction.
#include "networklock.h"

#ifndef Q_OS_WIN

#include "toolsupport.h"

namespace NetworkLock {

QString apply(const KillSwitchRules::Request& request)
{
    const QString nft = ToolSupport::systemProgram(QStringLiteral("nft"));
    if (nft.isEmpty()) {
        return QStringLiteral("nftables (nft) is not installed");
    }
    const ToolSupport::RunResult result = ToolSupport::run(
        nft, { QStringLiteral("-f"), QStringLiteral("-") }, KillSwitchRules::nftScript(request).toUtf8());
    return result.ok ? QString() : result.errorText;
}

} // namespace NetworkLock

#endif
