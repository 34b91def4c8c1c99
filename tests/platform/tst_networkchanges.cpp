// The network-change door against real kernel events, in a network namespace of the test's own:
// which changes of links and routes count, and that the tunnel's own set-up never does. Then the
// message reader against what the kernel would never send.
#include "platform/networkchanges.h"
#include "platform/uplinkstate_linux.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <cstring>
#include <memory>

#include <linux/rtnetlink.h>
#include <sched.h>
#include <sys/socket.h>

namespace {

bool ip(const QString& line)
{
    return QProcess::execute(QStringLiteral("ip"), line.split(QLatin1Char(' '))) == 0;
}

// One rtnetlink datagram: a default route of the main table through interface 99 (which does not
// exist), its attribute's length as given.
QByteArray routeMessage(quint16 type, bool dumpPart, quint16 attributeLength = 8)
{
    char bytes[NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(rtmsg)) + 8] = {};
    nlmsghdr header {};
    header.nlmsg_len = sizeof bytes;
    header.nlmsg_type = type;
    header.nlmsg_flags = dumpPart ? NLM_F_MULTI : 0;
    rtmsg route {};
    route.rtm_family = AF_INET;
    route.rtm_table = RT_TABLE_MAIN;
    route.rtm_type = RTN_UNICAST;
    const rtattr attribute { attributeLength, RTA_OIF };
    const quint32 index = 99;
    std::memcpy(bytes, &header, sizeof header);
    std::memcpy(bytes + NLMSG_HDRLEN, &route, sizeof route);
    char* at = bytes + NLMSG_HDRLEN + NLMSG_ALIGN(sizeof route);
    std::memcpy(at, &attribute, sizeof attribute);
    std::memcpy(at + sizeof attribute, &index, sizeof index);
    return QByteArray(bytes, sizeof bytes);
}

} // namespace

class TestNetworkChanges : public QObject
{
    Q_OBJECT

    std::unique_ptr<NetworkChanges> changes;

private slots:
    void initTestCase()
    {
        // The namespace is this thread's, and so the children's that run "ip".
        if (unshare(CLONE_NEWNET) != 0) {
            QSKIP("needs a network namespace of its own (root)");
        }
        for (const char* line : { "link set lo up", "link add up0 type veth peer name peer0", "link set peer0 up",
                 "link set up0 up", "address add 192.0.2.5/24 dev up0", "route add default via 192.0.2.1",
                 "link add lan0 type veth peer name lan0p", "tuntap add tun7 mode tun" }) {
            QVERIFY2(ip(QString::fromLatin1(line)), line);
        }
        changes = std::make_unique<NetworkChanges>();
        QVERIFY(changes->isWatching());
        // The tables are read first; nothing of that is a change.
        QSignalSpy changed(changes.get(), &NetworkChanges::changed);
        QVERIFY(!changed.wait(NetworkChanges::debounceMs + 300));
    }

    // In order: each row starts where the one before left the namespace.
    void kernelEvents_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("reported");
        QTest::newRow("default route replaced") << QStringList { "route replace default via 192.0.2.9" } << true;
        QTest::newRow("host route to the server") << QStringList { "route add 198.51.100.1/32 via 192.0.2.1", "route add 10.0.0.0/8 via 192.0.2.1" } << false;
        QTest::newRow("tunnel set up and taken down") << QStringList { "link set tun7 up",
            "address add 10.8.0.2/24 dev tun7", "route add 0.0.0.0/1 dev tun7", "route add default dev tun7 metric 5",
            "-6 route add default dev tun7 metric 5", "link set tun7 down" } << false;
        QTest::newRow("default route of another table") << QStringList { "route add default via 192.0.2.1 table 100" } << false;
        QTest::newRow("a link that is no uplink") << QStringList { "link set lan0 up", "link set lan0 down" } << false;
        // The far end gone (a cable pulled): the routes stay, the carrier goes.
        QTest::newRow("uplink lost its carrier") << QStringList { "link set peer0 down" } << true;
        QTest::newRow("carrier back") << QStringList { "link set peer0 up" } << true;
        QTest::newRow("uplink taken down") << QStringList { "link set up0 down" } << true;
        QTest::newRow("up again, default route back (one burst)") << QStringList { "link set up0 up", "route add default via 192.0.2.1" } << true;
        QTest::newRow("IPv6 default route added") << QStringList { "-6 address add 2001:db8::5/64 dev up0 nodad", "-6 route add default via 2001:db8::1" } << true;
        QTest::newRow("default route removed") << QStringList { "route del default" } << true;
        // clang-format on
    }
    void kernelEvents()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, reported);
        QSignalSpy changed(changes.get(), &NetworkChanges::changed);
        for (const QString& line : lines) {
            QVERIFY2(ip(line), qPrintable(line));
        }
        QCOMPARE(changed.wait(NetworkChanges::debounceMs + 300), reported);
        // A burst is one report.
        QVERIFY(!changed.wait(NetworkChanges::debounceMs));
    }

    void reader_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("changed");
        const QByteArray added = routeMessage(RTM_NEWROUTE, false);
        QTest::newRow("route added") << added << QByteArray() << true;
        QTest::newRow("known from the dump") << routeMessage(RTM_NEWROUTE, true) << added << false;
        QTest::newRow("removed, unknown") << routeMessage(RTM_DELROUTE, false) << QByteArray() << false;
        QTest::newRow("attribute beyond the message") << routeMessage(RTM_NEWROUTE, false, 12) << QByteArray() << false;
        QTest::newRow("attribute shorter than its header") << routeMessage(RTM_NEWROUTE, false, 2) << QByteArray() << false;
        QTest::newRow("message beyond the datagram") << added.left(added.size() - 1) << QByteArray() << false;
        QTest::newRow("header cut") << added.left(10) << QByteArray() << false;
        QByteArray routeHeaderCut = added.left(NLMSG_HDRLEN + 4);
        routeHeaderCut[0] = static_cast<char>(routeHeaderCut.size());
        QTest::newRow("route header cut") << routeHeaderCut << QByteArray() << false;
        // clang-format on
    }
    void reader()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        UplinkState state;
        bool changed = state.consume(first.constData(), static_cast<std::size_t>(first.size())).changed;
        if (!second.isEmpty()) {
            changed = state.consume(second.constData(), static_cast<std::size_t>(second.size())).changed;
        }
        QTEST(changed, "changed");
    }
};

QTEST_GUILESS_MAIN(TestNetworkChanges)
#include "tst_networkchanges.moc"
