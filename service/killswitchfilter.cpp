#include "killswitchfilter.h"

#include "protocol/toolwords.h"

namespace KillSwitchFilter {

QStringList clientArguments(const QStringList& arguments, bool tunnelRunning, QString* error)
{
    const QString action = arguments.value(0), what = arguments.value(1);
    // A client's lift is of its own lock, never of lockdown nor of the guard of a running tunnel.
    if (what == ToolWords::lockdown || (action == ToolWords::disable && what == ToolWords::tunnel)) {
        *error = QStringLiteral("not a command of the client's");
        return {};
    }
    if (arguments == ToolWords::disableAll()) {
        return ToolWords::disableLock();
    }
    // Guarding a tunnel that is gone would keep a family blocked until the next one ends.
    if (action == ToolWords::enable && what == ToolWords::tunnel && !tunnelRunning) {
        *error = QStringLiteral("no tunnel to guard");
        return {};
    }
    return arguments;
}

} // namespace KillSwitchFilter
