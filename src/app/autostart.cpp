#include "autostart.h"

#include <QtGlobal>

// Placeholder until the host integration lands.
bool AutoStart::isEnabled()
{
    return false;
}

bool AutoStart::setEnabled(bool enable)
{
    Q_UNUSED(enable)
    return false;
}

bool isVpnServiceRunning()
{
    return false;
}
