// killswitch: the network lock that vpn-service engages and lifts (see killswitchrules.h).
//     killswitch enable all|tunnel SERVER [local]
//     killswitch enable lockdown ADDRESS... [local]
//     killswitch disable all|lock|tunnel|lockdown
// Exit code 0 when the lock is as asked, 1 when nftables refused, 2 for bad arguments.

#include "killswitchrules.h"
#include "toolsupport.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString tool = QStringLiteral("killswitch");
    const QStringList arguments = app.arguments().mid(1);

    KillSwitchRules::Request request;
    const QString error = KillSwitchRules::parse(arguments, &request);
    if (!error.isEmpty()) {
        ToolSupport::complain(tool, error);
        ToolSupport::complain(tool,
            QStringLiteral("usage: killswitch enable all|tunnel SERVER [local] | killswitch enable lockdown "
                           "ADDRESS... [local] | killswitch disable all|lock|tunnel|lockdown"));
        return ToolSupport::BadUsage;
    }

    const QString nft = ToolSupport::systemProgram(QStringLiteral("nft"));
    if (nft.isEmpty()) {
        ToolSupport::complain(tool, QStringLiteral("nftables (nft) is not installed"));
        return ToolSupport::Failed;
    }
    const ToolSupport::RunResult result = ToolSupport::run(
        nft, { QStringLiteral("-f"), QStringLiteral("-") }, KillSwitchRules::nftScript(request).toUtf8());
    if (!result.ok) {
        ToolSupport::complain(tool, result.errorText);
        return ToolSupport::Failed;
    }
    return ToolSupport::Success;
}
