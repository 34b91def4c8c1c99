// The Windows side of the network lock: the rows of wfpfilters.h as persistent filters of the
// filtering platform, one sublayer per set, replaced or removed in one transaction and read back
// after the commit.
#include "networklock.h"

#ifdef Q_OS_WIN

#include "wfpfilters.h"

#include <QSettings>

#include <cstring>
#include <memory>
#include <vector>

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <fwpmu.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

namespace NetworkLock {

namespace {

using WfpFilters::Action;
using WfpFilters::Condition;
using WfpFilters::Field;
using WfpFilters::Filter;
using WfpFilters::Layer;

// The platform's own keys, which MinGW-w64's headers do not carry.
const GUID connectV4 = { 0xc38d57d1, 0x05a7, 0x4c33, { 0x90, 0x4f, 0x7f, 0xbc, 0xee, 0xe6, 0x0e, 0x82 } };
const GUID connectV6 = { 0x4a72393b, 0x319f, 0x44bc, { 0x84, 0xc3, 0xba, 0x54, 0xdc, 0xb3, 0xb6, 0xb4 } };
const GUID recvAcceptV4 = { 0xe1cd9fe7, 0xf4b5, 0x4273, { 0x96, 0xc0, 0x59, 0x2e, 0x48, 0x7b, 0x86, 0x50 } };
const GUID recvAcceptV6 = { 0xa3b42c97, 0x9f04, 0x4672, { 0xb8, 0x7e, 0xce, 0xe9, 0xc4, 0x83, 0x25, 0x7f } };
const GUID conditionFlags = { 0x632ce23b, 0x5167, 0x435c, { 0x86, 0xd7, 0xe9, 0x03, 0x68, 0x4a, 0xa8, 0x0c } };
const GUID conditionLocalInterface = { 0x4cd62a49, 0x59c3, 0x4969, { 0xb7, 0xf3, 0xbd, 0xa5, 0xd3, 0x28, 0x90, 0xa4 } };
const GUID conditionRemoteAddress = { 0xb235ae9a, 0x1d64, 0x49b8, { 0xa4, 0x4c, 0x5f, 0xf3, 0xd9, 0x09, 0x50, 0x45 } };
const GUID conditionRemotePort = { 0xc35a604d, 0xd22b, 0x4e1a, { 0x91, 0xb4, 0x68, 0xf6, 0x74, 0xee, 0x67, 0x4b } };
// Also where an ICMP type is kept.
const GUID conditionLocalPort = { 0x0c1ba1af, 0x5765, 0x453f, { 0xaf, 0x22, 0xa8, 0xf7, 0x91, 0xac, 0x77, 0x5b } };
const GUID conditionProtocol = { 0x3971ef2b, 0x623e, 0x4f9a, { 0x8c, 0xb1, 0x6e, 0x79, 0xb8, 0x06, 0xb9, 0xa7 } };
constexpr UINT32 filterPersistent = 0x1, filterClearActionRight = 0x8;
constexpr UINT16 sublayerPersistent = 0x1;

const struct
{
    Layer layer;
    const GUID& key;
} layers[] = { { Layer::ConnectV4, connectV4 }, { Layer::ConnectV6, connectV6 }, { Layer::RecvAcceptV4, recvAcceptV4 },
    { Layer::RecvAcceptV6, recvAcceptV6 } };

// A class of network adapters, and the tunnel driver's adapters in it.
const QString adapterClass = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}");
const QString tunnelDevice = QStringLiteral("tap0901");

QString failure(const char* step, DWORD code)
{
    return QStringLiteral("%1 failed (error 0x%2)").arg(QLatin1String(step)).arg(code, 8, 16, QLatin1Char('0'));
}

// The LUIDs of the tunnel driver's adapters.
QVector<quint64> tunnelInterfaces()
{
    QVector<quint64> luids;
    QSettings adapters(adapterClass, QSettings::NativeFormat);
    for (const QString& adapter : adapters.childGroups()) {
        if (adapters.value(adapter + QStringLiteral("/MatchingDeviceId")).toString() != tunnelDevice) {
            continue;
        }
        const QUuid id(adapters.value(adapter + QStringLiteral("/NetCfgInstanceId")).toString());
        NET_LUID luid;
        const GUID guid = id;
        if (!id.isNull() && ConvertInterfaceGuidToLuid(&guid, &luid) == NO_ERROR) {
            luids.append(luid.Value);
        }
    }
    return luids;
}

// One filter's conditions as the platform takes them; the values live as long as this does.
struct Conditions
{
    std::vector<FWPM_FILTER_CONDITION0> list;
    std::vector<std::unique_ptr<UINT64>> luids;
    std::vector<std::unique_ptr<FWP_V4_ADDR_AND_MASK>> v4;
    std::vector<std::unique_ptr<FWP_V6_ADDR_AND_MASK>> v6;
    std::vector<std::unique_ptr<FWP_RANGE0>> ranges;

    explicit Conditions(const QVector<Condition>& conditions)
    {
        for (const Condition& condition : conditions) {
            FWPM_FILTER_CONDITION0 out = {};
            out.matchType = FWP_MATCH_EQUAL;
            switch (condition.field) {
            case Field::Loopback:
                out.fieldKey = conditionFlags;
                out.matchType = FWP_MATCH_FLAGS_ALL_SET;
                out.conditionValue.type = FWP_UINT32;
                out.conditionValue.uint32 = FWP_CONDITION_FLAG_IS_LOOPBACK;
                break;
            case Field::LocalInterface:
                out.fieldKey = conditionLocalInterface;
                luids.push_back(std::make_unique<UINT64>(condition.low));
                out.conditionValue.type = FWP_UINT64;
                out.conditionValue.uint64 = luids.back().get();
                break;
            case Field::RemoteAddress:
                out.fieldKey = conditionRemoteAddress;
                if (condition.address.size() == 4) {
                    const auto* bytes = reinterpret_cast<const uchar*>(condition.address.constData());
                    auto value = std::make_unique<FWP_V4_ADDR_AND_MASK>();
                    value->addr = UINT32(bytes[0]) << 24 | UINT32(bytes[1]) << 16 | UINT32(bytes[2]) << 8 | bytes[3];
                    value->mask = condition.prefix == 0 ? 0 : ~UINT32(0) << (32 - condition.prefix);
                    v4.push_back(std::move(value));
                    out.conditionValue.type = FWP_V4_ADDR_MASK;
                    out.conditionValue.v4AddrMask = v4.back().get();
                } else {
                    auto value = std::make_unique<FWP_V6_ADDR_AND_MASK>();
                    std::memcpy(value->addr, condition.address.constData(), 16);
                    value->prefixLength = UINT8(condition.prefix);
                    v6.push_back(std::move(value));
                    out.conditionValue.type = FWP_V6_ADDR_MASK;
                    out.conditionValue.v6AddrMask = v6.back().get();
                }
                break;
            case Field::RemotePort:
            case Field::LocalPort:
            case Field::IcmpType:
                out.fieldKey = condition.field == Field::RemotePort ? conditionRemotePort : conditionLocalPort;
                setNumber(&out, FWP_UINT16, condition);
                break;
            case Field::Protocol:
                out.fieldKey = conditionProtocol;
                setNumber(&out, FWP_UINT8, condition);
                break;
            }
            list.push_back(out);
        }
    }

    void setNumber(FWPM_FILTER_CONDITION0* out, FWP_DATA_TYPE type, const Condition& condition)
    {
        const auto value = [type](quint64 number) {
            FWP_VALUE0 v = {};
            v.type = type;
            if (type == FWP_UINT8) {
                v.uint8 = UINT8(number);
            } else {
                v.uint16 = UINT16(number);
            }
            return v;
        };
        if (condition.low == condition.high) {
            const FWP_VALUE0 v = value(condition.low);
            out->conditionValue.type = type;
            if (type == FWP_UINT8) {
                out->conditionValue.uint8 = v.uint8;
            } else {
                out->conditionValue.uint16 = v.uint16;
            }
            return;
        }
        ranges.push_back(std::make_unique<FWP_RANGE0>());
        ranges.back()->valueLow = value(condition.low);
        ranges.back()->valueHigh = value(condition.high);
        out->matchType = FWP_MATCH_RANGE;
        out->conditionValue.type = FWP_RANGE_TYPE;
        out->conditionValue.rangeValue = ranges.back().get();
    }
};

class Engine
{
public:
    Engine()
    {
        FWPM_SESSION0 session = {};
        session.displayData.name = const_cast<wchar_t*>(L"VPN network lock");
        opened = FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, &session, &handle);
    }
    ~Engine()
    {
        if (handle != nullptr) {
            FwpmEngineClose0(handle);
        }
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    DWORD opened = 0;
    HANDLE handle = nullptr;

    // What the sublayer holds now, as ids (to delete) and footprints (to compare).
    QString held(const GUID& sublayer, QVector<UINT64>* ids, QVector<WfpFilters::Footprint>* prints)
    {
        for (const auto& layer : layers) {
            FWPM_FILTER_ENUM_TEMPLATE0 search = {};
            search.layerKey = layer.key;
            search.enumType = FWP_FILTER_ENUM_OVERLAPPING;
            search.actionMask = 0xFFFFFFFF;
            HANDLE enumeration = nullptr;
            DWORD code = FwpmFilterCreateEnumHandle0(handle, &search, &enumeration);
            if (code != ERROR_SUCCESS) {
                return failure("FwpmFilterCreateEnumHandle0", code);
            }
            for (;;) {
                FWPM_FILTER0** entries = nullptr;
                UINT32 count = 0;
                code = FwpmFilterEnum0(handle, enumeration, 256, &entries, &count);
                if (code != ERROR_SUCCESS) {
                    FwpmFilterDestroyEnumHandle0(handle, enumeration);
                    return failure("FwpmFilterEnum0", code);
                }
                for (UINT32 i = 0; i < count; ++i) {
                    const FWPM_FILTER0& entry = *entries[i];
                    if (!IsEqualGUID(entry.subLayerKey, sublayer)) {
                        continue;
                    }
                    ids->append(entry.filterId);
                    WfpFilters::Footprint print;
                    print.key = QUuid(entry.filterKey);
                    print.layer = layer.layer;
                    print.action = entry.action.type == FWP_ACTION_BLOCK ? Action::Block : Action::Permit;
                    print.conditions = int(entry.numFilterConditions);
                    prints->append(print);
                }
                if (entries != nullptr) {
                    FwpmFreeMemory0(reinterpret_cast<void**>(&entries));
                }
                if (count < 256) {
                    break;
                }
            }
            FwpmFilterDestroyEnumHandle0(handle, enumeration);
        }
        return QString();
    }

    // Removes the sublayer and everything in it; nothing to remove is no failure.
    QString remove(const GUID& sublayer)
    {
        QVector<UINT64> ids;
        QVector<WfpFilters::Footprint> prints;
        const QString error = held(sublayer, &ids, &prints);
        if (!error.isEmpty()) {
            return error;
        }
        for (const UINT64 id : qAsConst(ids)) {
            const DWORD code = FwpmFilterDeleteById0(handle, id);
            if (code != ERROR_SUCCESS) {
                return failure("FwpmFilterDeleteById0", code);
            }
        }
        const DWORD code = FwpmSubLayerDeleteByKey0(handle, &sublayer);
        if (code != ERROR_SUCCESS && code != DWORD(FWP_E_SUBLAYER_NOT_FOUND)) {
            return failure("FwpmSubLayerDeleteByKey0", code);
        }
        return QString();
    }

    QString add(const GUID& sublayer, UINT16 weight, const QVector<Filter>& filters)
    {
        FWPM_SUBLAYER0 layer = {};
        layer.subLayerKey = sublayer;
        layer.displayData.name = const_cast<wchar_t*>(L"VPN network lock");
        layer.flags = sublayerPersistent;
        layer.weight = weight;
        DWORD code = FwpmSubLayerAdd0(handle, &layer, nullptr);
        if (code != ERROR_SUCCESS) {
            return failure("FwpmSubLayerAdd0", code);
        }
        for (const Filter& filter : filters) {
            Conditions conditions(filter.conditions);
            const std::wstring name = filter.name.toStdWString();
            FWPM_FILTER0 out = {};
            out.filterKey = filter.key;
            out.displayData.name = const_cast<wchar_t*>(name.c_str());
            out.flags = filterPersistent | (filter.action == Action::Block ? filterClearActionRight : 0);
            for (const auto& known : layers) {
                if (known.layer == filter.layer) {
                    out.layerKey = known.key;
                }
            }
            out.subLayerKey = sublayer;
            out.weight.type = FWP_UINT8;
            out.weight.uint8 = filter.weight;
            out.numFilterConditions = UINT32(conditions.list.size());
            out.filterCondition = conditions.list.empty() ? nullptr : conditions.list.data();
            out.action.type = filter.action == Action::Block ? FWP_ACTION_BLOCK : FWP_ACTION_PERMIT;
            UINT64 id = 0;
            code = FwpmFilterAdd0(handle, &out, nullptr, &id);
            if (code != ERROR_SUCCESS) {
                return failure("FwpmFilterAdd0", code);
            }
        }
        return QString();
    }
};

// The sets' sublayers weigh more than most others; lockdown's the most.
UINT16 sublayerWeight(KillSwitchRules::Request::Scope scope)
{
    return UINT16(0xF000 + int(scope));
}

} // namespace

QString apply(const KillSwitchRules::Request& request)
{
    const WfpFilters::Set set = WfpFilters::filters(request, tunnelInterfaces());
    if (!set.error.isEmpty()) {
        return set.error;
    }
    Engine engine;
    if (engine.opened != ERROR_SUCCESS) {
        return QStringLiteral("the filtering platform is not available: %1")
            .arg(failure("FwpmEngineOpen0", engine.opened));
    }
    DWORD code = FwpmTransactionBegin0(engine.handle, 0);
    if (code != ERROR_SUCCESS) {
        return failure("FwpmTransactionBegin0", code);
    }
    const QVector<KillSwitchRules::Request::Scope> scopes = WfpFilters::scopes(request);
    QString error;
    for (const auto scope : scopes) {
        const GUID sublayer = WfpFilters::sublayerKey(scope);
        error = engine.remove(sublayer);
        if (error.isEmpty() && request.action == KillSwitchRules::Request::Enable) {
            error = engine.add(sublayer, sublayerWeight(scope), set.filters);
        }
        if (!error.isEmpty()) {
            break;
        }
    }
    if (!error.isEmpty()) {
        FwpmTransactionAbort0(engine.handle);
        return error;
    }
    code = FwpmTransactionCommit0(engine.handle);
    if (code != ERROR_SUCCESS) {
        return failure("FwpmTransactionCommit0", code);
    }
    // Read back: only what the platform holds counts as a lock in place.
    for (const auto scope : scopes) {
        QVector<UINT64> ids;
        QVector<WfpFilters::Footprint> prints;
        error = engine.held(WfpFilters::sublayerKey(scope), &ids, &prints);
        if (error.isEmpty()) {
            error = WfpFilters::verify(set.filters, prints);
        }
        if (!error.isEmpty()) {
            return error;
        }
    }
    return QString();
}

} // namespace NetworkLock

#endif
