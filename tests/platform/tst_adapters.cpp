#include "../support/testkit.h"

#include "foundation/tundevice.h"
#include "platform/adapters.h"
#include "platform/mtu.h"

#include <net/if.h>
#include <sched.h>
#include <unistd.h>

// "index:name|" for each adapter.
static QString describe(const NetworkAdapters& adapters)
{
    QString text;
    for (const NetworkAdapter& adapter : adapters) {
        text += QString("%1:%2|").arg(adapter.index).arg(adapter.name);
    }
    return text;
}

// Adapter discovery and the MTU: the Windows side from recorded "route print" listings, the Linux
// side against the kernel's own interfaces.
class TestAdapters : public QObject
{
    Q_OBJECT

    const QString one = "12:TAP-Windows Adapter V9|", two = "19:TAP-Windows Adapter V9|23:TAP-Windows Adapter V9 #2|";

    static QString sh(const QString& command)
    {
        QProcess process;
        process.start("sh", { "-c", command });
        return process.waitForFinished(10000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
    }

private slots:
    void parsesListings_data()
    {
        // clang-format off
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two adapters") << fixture("connection/route-two-adapters.txt") << two;
        QTest::newRow("unix line ends") << fixture("connection/route-two-adapters.txt").remove('\r') << two;
        QTest::newRow("other drivers") << fixture("connection/route-other-drivers.txt") << QString();
        QTest::newRow("lines to skip") << fixture("connection/route-bad-lines.txt") << QString("27:TAP-Windows Adapter V9 #2|28:TAP-Windows Adapter V9 #9|");
        QTest::newRow("no line end") << " 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9" << one;
        // Binary garbage: only a line that begins with a number gives an adapter.
        QTest::newRow("garbage") << QString::fromUtf8(
            "\x01\xff...\xfe......TAP-Windows Adapter V9\r\n 7...\x80\xc3......TAP-Windows Adapter V9 "
            "#2\n-1......TAP-Windows Adapter V9") << QString("7:TAP-Windows Adapter V9 #2|");
        // clang-format on
    }
    void parsesListings()
    {
        QFETCH(QString, listing);
        QFETCH(QString, expected);
        QCOMPARE(describe(AdapterDiscovery::parseRouteListing(listing)), expected);
    }

    // Windows: netsh sets the persistent MTU ("Auto" and anything not positive: 1500). Linux: OpenVPN
    // gets the user's MTU for its interface, and nothing for "Auto".
    void mtu_data()
    {
        // clang-format off
        QTest::addColumn<int>("mtu");
        QTest::addColumn<QString>("netsh");
        QTest::addColumn<QString>("openVpn");
        QTest::newRow("manual") << 1400 << "mtu=1400" << "tun-mtu 1400";
        QTest::newRow("auto") << 0 << "mtu=1500" << "";
        QTest::newRow("negative") << -1 << "mtu=1500" << "";
        // clang-format on
    }
    void mtu()
    {
        QFETCH(int, mtu);
        QFETCH(QString, netsh);
        QCOMPARE(Mtu::netshArguments(12, mtu).join(' '),
            "interface ipv4 set subinterface 12 " + netsh + " store=persistent");
        QTEST(Mtu::openVpnDirectives(mtu).join('|'), "openVpn");
    }

    // A device that opens but is not TUN's (TUN's own, and none at all: tst_service, from the service).
    void tunAvailability()
    {
        QCOMPARE(TunDevice::unavailableReason("/dev/null"), QString("/dev/null is not the TUN/TAP device"));
    }

    // Real TUN and TAP interfaces among others, in a network namespace of this test's own.
    void kernelInterfaces()
    {
        if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
            QSKIP("needs root to create a network namespace");
        }
        QCOMPARE(sh("ip link add a0 type veth peer name a1 && ip tuntap add vpnc-tun-b mode tun && ip tuntap add "
                    "vpnc-tap-a mode tap"),
            QString());
        const QString expected = QString("%1:vpnc-tun-b|%2:vpnc-tap-a|")
                                     .arg(if_nametoindex("vpnc-tun-b"))
                                     .arg(if_nametoindex("vpnc-tap-a"));
        QCOMPARE(describe(AdapterDiscovery::tunInterfaces()), expected);

        AdapterDiscovery discovery;
        QVERIFY(!discovery.isUsable());
        QSignalSpy discovered(&discovery, &AdapterDiscovery::discovered);
        discovery.discover();
        QVERIFY(discovery.isDiscovering() && !discovery.isUsable());
        QVERIFY(discovered.wait(5000));
        QVERIFY(discovery.isUsable());
        QCOMPARE(describe(discovery.adapters()), expected);
        // None at all is no reason not to start: OpenVPN makes its own.
        QCOMPARE(sh("ip link del vpnc-tun-b && ip link del vpnc-tap-a"), QString());
        discovery.discover();
        QVERIFY(discovered.wait(5000));
        QVERIFY(discovery.isUsable() && discovery.adapters().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAdapters)
#include "tst_adapters.moc"
