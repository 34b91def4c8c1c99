#include "powerevents.h"

#ifndef Q_OS_WIN

#include "foundation/logtag.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QtDebug>

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");

} // namespace

struct PowerEvents::Watch
{
    bool connected = false;
};

PowerEvents::PowerEvents(QObject* parent)
    : QObject(parent)
    , watch(std::make_unique<Watch>())
{
    setObjectName(QStringLiteral("PowerEvents"));
    // Anyone on the system bus may send a signal; the bus delivers this one only from the owner of
    // logind's name.
    QDBusConnection bus = QDBusConnection::systemBus();
    watch->connected = bus.isConnected()
        && bus.connect(logindService, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
            SLOT(onPrepareForSleep(bool)));
    if (!watch->connected) {
        tagged(qWarning(), objectName()) << "Sleep and resume not watched: " << bus.lastError().message();
    }
}

PowerEvents::~PowerEvents() = default;

bool PowerEvents::isWatching() const
{
    return watch->connected;
}

#endif
