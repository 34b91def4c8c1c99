#include "networkchanges.h"

#ifdef Q_OS_WIN

#include "foundation/logtag.h"

#include <QHash>
#include <QMetaObject>
#include <QtDebug>

// The order is the IP helper's own: Windows sockets first, then its definitions of addresses.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <cwchar>

// The IP helper's route and interface notifications. They come on a thread of the system; each is
// filtered there and handed to the owner's thread. An interface counts by its connected state,
// per family, against what was last seen; a tunnel adapter counts for nothing.
struct NetworkChanges::Watch
{
    explicit Watch(NetworkChanges* owner);
    ~Watch();

    static bool isTunnel(const NET_LUID& luid);
    static quint64 key(const NET_LUID& luid, ADDRESS_FAMILY family);
    static VOID WINAPI routeChanged(PVOID context, PMIB_IPFORWARD_ROW2 row, MIB_NOTIFICATION_TYPE type);
    static VOID WINAPI interfaceChanged(PVOID context, PMIB_IPINTERFACE_ROW row, MIB_NOTIFICATION_TYPE type);
    // On the owner's thread.
    void interfaceNow(quint64 which, bool connected);

    NetworkChanges* owner;
    HANDLE routes = nullptr;
    HANDLE interfaces = nullptr;
    QHash<quint64, bool> connectedByInterface;
};

NetworkChanges::Watch::Watch(NetworkChanges* owner)
    : owner(owner)
{
    PMIB_IPINTERFACE_TABLE table = nullptr;
    if (GetIpInterfaceTable(AF_UNSPEC, &table) == NO_ERROR) {
        for (ULONG i = 0; i < table->NumEntries; ++i) {
            const MIB_IPINTERFACE_ROW& row = table->Table[i];
            if (!isTunnel(row.InterfaceLuid)) {
                connectedByInterface.insert(key(row.InterfaceLuid, row.Family), row.Connected != FALSE);
            }
        }
        FreeMibTable(table);
    }
    if (NotifyRouteChange2(AF_UNSPEC, &Watch::routeChanged, this, FALSE, &routes) != NO_ERROR) {
        routes = nullptr;
    }
    if (NotifyIpInterfaceChange(AF_UNSPEC, &Watch::interfaceChanged, this, FALSE, &interfaces) != NO_ERROR) {
        interfaces = nullptr;
    }
    if (routes == nullptr || interfaces == nullptr) {
        tagged(qWarning(), QStringLiteral("NetworkChanges")) << "Route or interface notifications unavailable";
    }
}

NetworkChanges::Watch::~Watch()
{
    // Returns once no callback runs any more; what they handed on dies with the owner's events.
    if (routes != nullptr) {
        CancelMibChangeNotify2(routes);
    }
    if (interfaces != nullptr) {
        CancelMibChangeNotify2(interfaces);
    }
}

bool NetworkChanges::Watch::isTunnel(const NET_LUID& luid)
{
    MIB_IF_ROW2 row {};
    row.InterfaceLuid = luid;
    if (GetIfEntry2(&row) != NO_ERROR) {
        return false;
    }
    return row.Type == IF_TYPE_PROP_VIRTUAL || row.Type == IF_TYPE_TUNNEL || row.Type == IF_TYPE_SOFTWARE_LOOPBACK
        || row.TunnelType != TUNNEL_TYPE_NONE || std::wcsstr(row.Description, L"TAP-Windows") != nullptr;
}

quint64 NetworkChanges::Watch::key(const NET_LUID& luid, ADDRESS_FAMILY family)
{
    return (static_cast<quint64>(luid.Value) << 1) ^ (family == AF_INET6 ? 1U : 0U);
}

VOID WINAPI NetworkChanges::Watch::routeChanged(PVOID context, PMIB_IPFORWARD_ROW2 row, MIB_NOTIFICATION_TYPE type)
{
    if (row == nullptr || type == MibInitialNotification || row->DestinationPrefix.PrefixLength != 0
        || isTunnel(row->InterfaceLuid)) {
        return;
    }
    NetworkChanges* owner = static_cast<Watch*>(context)->owner;
    QMetaObject::invokeMethod(
        owner,
        [owner] {
            owner->noteChange();
        },
        Qt::QueuedConnection);
}

VOID WINAPI NetworkChanges::Watch::interfaceChanged(PVOID context, PMIB_IPINTERFACE_ROW row, MIB_NOTIFICATION_TYPE type)
{
    if (row == nullptr || type == MibInitialNotification || isTunnel(row->InterfaceLuid)) {
        return;
    }
    // A parameter notification may carry only the interface's identity: its state is read anew.
    MIB_IPINTERFACE_ROW current {};
    current.Family = row->Family;
    current.InterfaceLuid = row->InterfaceLuid;
    const bool connected
        = type != MibDeleteInstance && GetIpInterfaceEntry(&current) == NO_ERROR && current.Connected != FALSE;
    auto* watch = static_cast<Watch*>(context);
    const quint64 which = key(row->InterfaceLuid, row->Family);
    QMetaObject::invokeMethod(
        watch->owner,
        [watch, which, connected] {
            watch->interfaceNow(which, connected);
        },
        Qt::QueuedConnection);
}

void NetworkChanges::Watch::interfaceNow(quint64 which, bool connected)
{
    const auto known = connectedByInterface.constFind(which);
    const bool flipped = known == connectedByInterface.cend() ? connected : known.value() != connected;
    connectedByInterface.insert(which, connected);
    if (flipped) {
        owner->noteChange();
    }
}

NetworkChanges::NetworkChanges(QObject* parent)
    : QObject(parent)
    , watch(std::make_unique<Watch>(this))
{
    setUpDebounce();
}

NetworkChanges::~NetworkChanges() = default;

bool NetworkChanges::isWatching() const
{
    return watch->routes != nullptr && watch->interfaces != nullptr;
}

#endif
