// The Windows side of the quit signals: there are none to catch. Windows ends a session through the
// window system, which Qt turns into the application's quit; the service manager's stop is the
// service's own door.
#include "quitsignals.h"

#ifdef Q_OS_WIN

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("QuitSignals"));
}

QuitSignals::~QuitSignals() = default;

void QuitSignals::onReadable() { }

#endif
