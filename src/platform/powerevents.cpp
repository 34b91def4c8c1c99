#include "powerevents.h"

#include "foundation/logtag.h"

#include <QtDebug>

void PowerEvents::onPrepareForSleep(bool sleeping)
{
    tagged(qInfo(), objectName()) << (sleeping ? "The host goes to sleep" : "The host woke up");
    if (sleeping) {
        emit aboutToSleep();
    } else {
        emit resumed();
    }
}
