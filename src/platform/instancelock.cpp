#include "instancelock.h"

InstanceLock::~InstanceLock()
{
    release();
}

QString InstanceLock::errorString() const
{
    return error;
}
