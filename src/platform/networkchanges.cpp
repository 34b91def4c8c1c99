#include "networkchanges.h"

void NetworkChanges::setUpDebounce()
{
    debounce.setSingleShot(true);
    debounce.setInterval(debounceMs);
    connect(&debounce, &QTimer::timeout, this, &NetworkChanges::changed);
}

void NetworkChanges::noteChange()
{
    // The first change of a burst starts the wait; the rest fall into it.
    if (!debounce.isActive()) {
        debounce.start();
    }
}
