#include "../app/testkit.h"

#include "connection/networkinterfaces.h"
#include "foundation/utils.h"

#include <net/if.h>
#include <sched.h>
#include <unistd.h>

// The development host's route and netsh stand-ins against real TUN interfaces, in a network
// namespace of this test's own so that the machine's interfaces stay untouched.
class TestDevhostAdapters : public QObject
{
    Q_OBJECT

    static QString sh(const QString& command)
    {
        QProcess process;
        process.start("sh", { "-c", command });
        return process.waitForFinished(10000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
    }

private slots:
    void adapters()
    {
        if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
            QSKIP("needs root to create a network namespace");
        }
        // Another kind of interface first, so that the TAP adapters are not simply the first ones.
        QCOMPARE(sh("ip link add a0 type veth peer name a1 && ip tuntap add vpnc-tun-a mode tun && ip tuntap add "
                    "vpnc-tun-b mode tun"),
            QString());
        const uint first = if_nametoindex("vpnc-tun-a");
        const uint second = if_nametoindex("vpnc-tun-b");
        qputenv("PATH", VPN_SOURCE_DIR "/devhost/bin:" + qgetenv("PATH"));
        NetworkInterfaces interfaces;
        QSignalSpy discovered(&interfaces, &NetworkInterfaces::discovered);
        interfaces.discover();
        QVERIFY(discovered.wait(20000));
        QCOMPARE(describe(interfaces.adapters()),
            QString("%1:TAP-Windows Adapter V9|%2:TAP-Windows Adapter V9 #2|").arg(first).arg(second));

        // netsh: "Auto" and anything not positive mean 1500; a failure shows only in the exit code.
        const QString mtus = "for d in vpnc-tun-a vpnc-tun-b; do ip -o link show $d | grep -o 'mtu [0-9]*'; done";
        for (const auto& [index, mtu, code, after] :
            QList<std::tuple<uint, int, int, QString>> { { second, 1400, 0, "1400" }, { second, -7, 0, "1500" },
                { second + 1000, 1400, 1, "1500" }, { first, 100, 1, "1500" } }) {
            QTest::ignoreMessage(
                QtInfoMsg, qPrintable("Utils: 'Set mtu size' command finished with code: " + QString::number(code)));
            Utils::setInterfaceMtu(int(index), mtu);
            QCOMPARE(sh(mtus).simplified(), "mtu 1500 mtu " + after);
        }
    }
};

QTEST_GUILESS_MAIN(TestDevhostAdapters)
#include "tst_devhost_adapters.moc"
