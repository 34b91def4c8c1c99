// The Windows network lock's filters as data: what each set lets through, on which layers, and the
// read-back that keeps a platform which drops filters from passing for a lock in place.
#include "wfpfilters.h"

#include <QHostAddress>
#include <QSet>
#include <QTest>
#include <QtEndian>

using namespace WfpFilters;
using Request = KillSwitchRules::Request;

namespace {

bool isV6(Layer layer)
{
    return layer == Layer::ConnectV6 || layer == Layer::RecvAcceptV6;
}

// The permits of exactly this address on the layer.
int permitsOf(const QVector<Filter>& filters, const QString& text, Layer layer)
{
    const QHostAddress address(text);
    const quint32 v4 = qToBigEndian(address.toIPv4Address());
    const QByteArray bytes = text.contains(':')
        ? QByteArray(reinterpret_cast<const char*>(address.toIPv6Address().c), 16)
        : QByteArray(reinterpret_cast<const char*>(&v4), 4);
    int count = 0;
    for (const Filter& filter : filters) {
        for (const Condition& condition : filter.conditions) {
            count += filter.layer == layer && filter.action == Action::Permit && condition.address == bytes ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class TestWfpFilters : public QObject
{
    Q_OBJECT

private slots:
    void sets_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<bool>("local");
        QTest::addColumn<bool>("refused");
        const int lock = Request::Lock, tunnel = Request::Tunnel, lockdown = Request::Lockdown;
        const QStringList v4 { "198.51.100.1" }, v6 { "2001:db8::1" }, none;
        QTest::newRow("lock, IPv4 server") << lock << v4 << false << false;
        QTest::newRow("lock, IPv4 server, local") << lock << v4 << true << false;
        QTest::newRow("tunnel guard, IPv6 server") << tunnel << v6 << false << false;
        QTest::newRow("lockdown, both families, local") << lockdown << v4 + v6 << true << false;
        QTest::newRow("lockdown without servers") << lockdown << none << false << false;
        // A lock that lets nothing reach the server would keep the tunnel down; one not made at all
        // would leave the user believing it holds. Refused, with nothing to write.
        QTest::newRow("lock without server") << lock << none << true << true;
        QTest::newRow("tunnel guard without server") << tunnel << none << false << true;
        QTest::newRow("not an address") << lockdown << QStringList { "198.51.100.1", "host" } << false << true;
    }
    void sets()
    {
        QFETCH(int, scope);
        QFETCH(QStringList, servers);
        QFETCH(bool, local);
        const quint64 tunnel = 0x1234;
        const Set set = filters(Request { Request::Enable, Request::Scope(scope), servers, local }, { tunnel });
        QTEST(!set.error.isEmpty(), "refused");
        if (!set.error.isEmpty()) {
            QVERIFY(set.filters.isEmpty());
            return;
        }

        const Layer layers[] = { Layer::ConnectV4, Layer::ConnectV6, Layer::RecvAcceptV4, Layer::RecvAcceptV6 };
        for (const Layer layer : layers) {
            int unconditioned = 0, loopback = 0, adapter = 0, dns = 0, lan = 0;
            for (const Filter& filter : set.filters) {
                if (filter.layer != layer) {
                    continue;
                }
                if (filter.conditions.isEmpty()) {
                    // Only the final block has no condition: never an allow-all.
                    ++unconditioned;
                    QVERIFY(filter.action == Action::Block && filter.weight == 0);
                }
                for (const Condition& condition : filter.conditions) {
                    // An address of the other family on a layer matches nothing there.
                    if (condition.field == Field::RemoteAddress) {
                        QCOMPARE(condition.address.size(), isV6(layer) ? 16 : 4);
                        lan += filter.weight < 10 ? 1 : 0;
                    }
                    loopback += condition.field == Field::Loopback ? 1 : 0;
                    adapter += condition.field == Field::LocalInterface && condition.low == tunnel ? 1 : 0;
                    dns += condition.field == Field::RemotePort && condition.low == 53 ? 1 : 0;
                }
                if (filter.action == Action::Block && !filter.conditions.isEmpty()) {
                    // DNS beside the tunnel is closed below the servers and the tunnel, above the LAN.
                    QCOMPARE(filter.weight, quint8(10));
                }
            }
            QCOMPARE(unconditioned, 1);
            QCOMPARE(loopback, 1);
            QCOMPARE(adapter, 1);
            QCOMPARE(dns, local && (layer == Layer::ConnectV4 || layer == Layer::ConnectV6) ? 1 : 0);
            QCOMPARE(lan > 0, local);
            for (const QString& server : servers) {
                const bool v6 = server.contains(':');
                QCOMPARE(permitsOf(set.filters, server, layer), v6 == isV6(layer) ? 1 : 0);
            }
        }
        // Keys of the scope's sublayer, none twice, none of another set's.
        QSet<QUuid> keys;
        for (const Filter& filter : set.filters) {
            QUuid base = filter.key;
            base.data4[6] = base.data4[7] = 0;
            QCOMPARE(base, sublayerKey(Request::Scope(scope)));
            keys.insert(filter.key);
        }
        QCOMPARE(keys.size(), set.filters.size());
    }

    void verified_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("agrees");
        QTest::newRow("all held, in another order") << 0 << true;
        QTest::newRow("nothing held (a platform that only says yes)") << 1 << false;
        QTest::newRow("one left of the set it replaced") << 3 << false;
        QTest::newRow("one on another layer") << 4 << false;
        QTest::newRow("a block held as a permit") << 5 << false;
    }
    void verified()
    {
        QFETCH(int, change);
        QFETCH(bool, agrees);
        const QVector<Filter> written
            = filters(Request { Request::Enable, Request::Lock, { "198.51.100.1" }, true }, { 7 }).filters;
        QVector<Footprint> held;
        for (const Filter& filter : written) {
            held.prepend(footprint(filter));
        }
        if (change == 1) {
            held.clear();
        } else if (change == 3) {
            held.append(footprint(
                filters(Request { Request::Enable, Request::Lock, { "203.0.113.5" }, true }, {}).filters.first()));
            held.last().key.data4[7] = 0xff;
        } else if (change == 4) {
            held.first().layer = Layer::ConnectV4;
        } else if (change == 5) {
            held.first().action = Action::Permit;
        }
        QCOMPARE(verify(written, held).isEmpty(), agrees);
    }
};

QTEST_GUILESS_MAIN(TestWfpFilters)
#include "tst_wfpfilters.moc"
