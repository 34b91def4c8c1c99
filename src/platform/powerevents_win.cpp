#include "powerevents.h"

#ifdef Q_OS_WIN

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <qt_windows.h>

// The power broadcast reaches every top-level window of the application, so one suspend may come
// several times, and a resume comes as PBT_APMRESUMEAUTOMATIC and, with a user present, again as
// PBT_APMRESUMESUSPEND: each is reported once.
struct PowerEvents::Watch : QAbstractNativeEventFilter
{
    explicit Watch(PowerEvents* owner)
        : owner(owner)
    { }

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override
    {
        Q_UNUSED(result)
        if (eventType != "windows_generic_MSG" || message == nullptr) {
            return false;
        }
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_POWERBROADCAST) {
            return false;
        }
        if (msg->wParam == PBT_APMSUSPEND && !sleeping) {
            sleeping = true;
            resumeReported = false;
            owner->onPrepareForSleep(true);
        } else if ((msg->wParam == PBT_APMRESUMEAUTOMATIC || msg->wParam == PBT_APMRESUMESUSPEND) && !resumeReported) {
            sleeping = false;
            resumeReported = true;
            owner->onPrepareForSleep(false);
        }
        // Left to the default handling, which grants the request.
        return false;
    }

    PowerEvents* owner;
    bool sleeping = false;
    bool resumeReported = false;
};

PowerEvents::PowerEvents(QObject* parent)
    : QObject(parent)
    , watch(std::make_unique<Watch>(this))
{
    setObjectName(QStringLiteral("PowerEvents"));
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installNativeEventFilter(watch.get());
    }
}

PowerEvents::~PowerEvents()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(watch.get());
    }
}

bool PowerEvents::isWatching() const
{
    return QCoreApplication::instance() != nullptr;
}

#endif
