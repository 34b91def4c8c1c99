#include "adapters.h"

#include "foundation/logtag.h"

AdapterDiscovery::AdapterDiscovery(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("NetworkInterfaces"));
}

bool AdapterDiscovery::isDiscovering() const
{
    return pending;
}

bool AdapterDiscovery::isUsable() const
{
    return !pending && unusable.isEmpty();
}

NetworkAdapters AdapterDiscovery::adapters() const
{
    return adapterList;
}

void AdapterDiscovery::finish(const NetworkAdapters& found, const QString& unusableReason)
{
    adapterList = found;
    unusable = unusableReason;
    pending = false;
    emit discovered();
}

void AdapterDiscovery::logAdapters() const
{
    if (!unusable.isEmpty()) {
        tagged(qCritical(), objectName()) << unusable;
    }
    for (const NetworkAdapter& adapter : adapterList) {
        tagged(qInfo(), objectName()) << "Detected VPN interface, id: " << adapter.index << ", name: '" << adapter.name
                                      << "'";
    }
}
