// killswitch: the network lock that vpn-service engages and lifts (see killswitchrules.h).
//     killswitch enable all|tunnel SERVER [local]
//     killswitch enable lockdown ADDRESS... [local]
//     killswitch disable all|lock|tunnel|lockdown
// Exit code 0 when the lock is as asked, 1 when the system refused it, 2 for bad arguments.

#include "killswitchrules.h"
#include "networklock.h"
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

    const QString failure = NetworkLock::apply(request);
    if (!failure.isEmpty()) {
        ToolSupport::complain(tool, failure);
        return ToolSupport::Failed;
    }
    return ToolSupport::Success;
}
