// The kill switch and DNS tools as real processes. As root the test runs in private network and mount
// namespaces: a veth peer in a further namespace stands for the rest of the network and counts the
// packets that reach it, a third namespace stands for a container behind the machine, and a file
// of the test's own lies over /etc/resolv.conf. systemd-resolved does not run here: its side of the
// DNS tool is driven with places of the test's own and a resolvectl stand-in that records its calls.
#include "../support/testkit.h"
#include "resolvedlinks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString server = "198.51.100.1", server6 = "2001:db8:1::1";
const QString A = "{1A000000-0000-0000-0000-00000000000A}";
const QString original = "# mine\nsearch lan.example\nnameserver 192.0.2.53\nnameserver 2001:db8::53\n";
// The peer ($0) holds every far address: the VPN servers, a host elsewhere, LAN hosts (private,
// unique local and link-local) and, behind a link named like a tunnel adapter, a host in the
// tunnel. The container ($1) reaches the peer only through this namespace.
const char* const network
    = "set -e; P=\"nsenter -t $0 -n\"; C=\"nsenter -t $1 -n\"; ip link set lo up; "
      // No duplicate address detection: a tentative link-local address holds up the first IPv6 probes.
      "for n in '' \"$P\" \"$C\"; do $n sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0; "
      "done; "
      "ip link add vk0 type veth peer name vk1 netns $0; ip link add tun7 type veth peer name tunpeer netns $0; "
      "ip link add ct0 type veth peer name eth0 netns $1; "
      "for a in 198.51.100.2/24 192.168.77.2/24 2001:db8:1::2/64 fd77::2/64; do ip addr add $a dev vk0 nodad; done; "
      "ip addr add 10.8.0.2/24 dev tun7; ip addr add fd00:8::2/64 dev tun7 nodad; "
      "ip addr add 172.17.0.1/24 dev ct0; ip addr add fd17::1/64 dev ct0 nodad; "
      "for a in 198.51.100.1/24 198.51.100.50/24 192.168.77.10/24 2001:db8:1::1/64 2001:db8:1::50/64 fd77::10/64 "
      "fe80::10/64; do $P ip addr add $a dev vk1 nodad; done; "
      "$P ip addr add 10.8.0.9/24 dev tunpeer; $P ip addr add fd00:8::9/64 dev tunpeer nodad; "
      "$C ip addr add 172.17.0.2/24 dev eth0; $C ip addr add fd17::2/64 dev eth0 nodad; "
      "for l in vk0 tun7 ct0; do ip link set $l up; done; for l in lo vk1 tunpeer; do $P ip link set $l up; done; "
      "$C ip link set lo up; $C ip link set eth0 up; $C ip route add default via 172.17.0.1; "
      "$C ip -6 route add default via fd17::1; $P ip route add 172.17.0.0/24 via 198.51.100.2; "
      "$P ip -6 route add fd17::/64 via 2001:db8:1::2; sysctl -qw net.ipv4.ip_forward=1 "
      "net.ipv6.conf.all.forwarding=1; "
      // Counts what arrives, neighbour discovery and multicast listener reports aside.
      "$P nft -f - <<'NFT'\n"
      "table inet probe {\n counter arrived {}\n chain pre {\n  type filter hook prerouting priority -300;\n"
      "  icmpv6 type { nd-router-solicit, nd-router-advert, nd-neighbor-solicit, nd-neighbor-advert, "
      "mld-listener-report, mld2-listener-report } return\n  counter name arrived\n }\n}\nNFT\n";
bool isolated = false;

int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program.contains('/') ? program : VPN_APP_DIR "/" + program, arguments);
    const bool finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    if (output != nullptr) {
        *output = process.readAll();
    }
    return finished ? process.exitCode() : -1;
}

QByteArray resolvConf()
{
    return readBytes("/etc/resolv.conf");
}

void writeResolvConf(const QByteArray& text)
{
    QFile file("/etc/resolv.conf");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size());
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

    enum Expect
    {
        Blocked, // nothing arrives at the far end
        Arrives, // something arrives (forwarded traffic, whose answers take other paths)
        RoundTrip // arrives, and every kind is answered
    };

    QProcess peer, container, holder, foreignHolder;

    // Packets that reached the peer since the last call.
    int arrived()
    {
        QString output;
        run("/usr/bin/nsenter",
            { "-t", QString::number(peer.processId()), "-n", "nft", "reset", "counter", "inet", "probe", "arrived" },
            &output);
        const QRegularExpressionMatch match = QRegularExpression("packets (\\d+)").match(output);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    // Sends every kind to the target, from this namespace or from the container's; KIND TARGET RESULT lines.
    QStringList probe(bool fromContainer, const QString& kinds, const QStringList& targets, double seconds = 0)
    {
        QStringList command { "python3", PROBE_SCRIPT, "--kinds", kinds, "--timeout", "0.5", "--for",
            QString::number(seconds) };
        if (fromContainer) {
            command = QStringList { "-t", QString::number(container.processId()), "-n" } + command;
        }
        QString output;
        run(fromContainer ? "/usr/bin/nsenter" : "/usr/bin/env", command + targets, &output);
        return output.split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        if (!isolated) {
            return;
        }
        for (QProcess* process : { &peer, &container }) {
            process->start("unshare", { "-n", "sleep", "600" });
            QVERIFY(process->waitForStarted());
        }
        QTest::qWait(200);
        QString output;
        QVERIFY2(
            run("/bin/bash",
                { "-c", network, QString::number(peer.processId()), QString::number(container.processId()) }, &output)
                == 0,
            qPrintable(output));
        // The links of resolvedLinks: a TUN interface, and one that a process named like OpenVPN holds;
        // another such process holds vpnt8 in the container's namespace, whose links are not ours.
        QCOMPARE(run("/usr/sbin/ip", { "tuntap", "add", "vpnt0", "mode", "tun" }), 0);
        const QStringList hold { "python3", "-c",
            "import fcntl, os, struct, sys, time\nopen('/proc/self/comm', 'w').write('openvpn')\n"
            "fcntl.ioctl(os.open('/dev/net/tun', os.O_RDWR), 0x400454ca, struct.pack('16sH', sys.argv[1].encode(), "
            "0x1001))\nprint('ready', flush=True)\ntime.sleep(600)\n" };
        holder.start("/usr/bin/env", hold + QStringList { "vpnt1" });
        foreignHolder.start("/usr/bin/nsenter",
            QStringList { "-t", QString::number(container.processId()), "-n" } + hold + QStringList { "vpnt8" });
        for (QProcess* process : { &holder, &foreignHolder }) {
            QTRY_VERIFY_WITH_TIMEOUT(process->canReadLine() || process->state() == QProcess::NotRunning, 10000);
            QCOMPARE(process->readLine(), QByteArray("ready\n"));
        }
    }
    void cleanupTestCase()
    {
        for (QProcess* process : { &foreignHolder, &holder, &peer, &container }) {
            process->kill();
            process->waitForFinished();
        }
    }
    void init()
    {
        if (isolated) {
            QCOMPARE(run("killswitch", { "disable", "all" }), 0);
            writeResolvConf(original.toUtf8());
        } else if (!QByteArrayList { "badArgumentsChangeNothing", "resolvedDetection" }.contains(
                       QTest::currentTestFunction())) {
            QSKIP("needs root for private network and mount namespaces");
        }
    }
    void badArgumentsChangeNothing_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("dns: families swapped") << QStringList { "dns", "vpn", A + "@fd00::1,10.8.0.1" } << "IPv4";
        QTest::newRow("dns: injected line") << QStringList { "dns", "vpn", A + "@10.8.0.1\n," } << "IPv4";
        QTest::newRow("dns: IPv6 not canonical") << QStringList { "dns", "vpn", A + "@,fd00:8:0::1" } << "IPv6";
        QTest::newRow("dns: interface name too long") << QStringList { "dns", "vpn", "tun456789abcdef0@10.8.0.1," } << "neither";
        QTest::newRow("dns: interface name with a slash") << QStringList { "dns", "vpn", "../tun0@10.8.0.1," } << "neither";
        QTest::newRow("killswitch: final line end") << QStringList { "killswitch", "enable", "all", server + "\n", "" } << "not an IPv4 or IPv6";
        QTest::newRow("killswitch: Unicode blank") << QStringList { "killswitch", "enable", "all", server6 + QChar(0x00a0), "" } << "not an IPv4 or IPv6";
        QTest::newRow("killswitch: IPv6 upper case") << QStringList { "killswitch", "enable", "all", "2001:DB8:1::1", "" } << "not an IPv4 or IPv6";
        QTest::newRow("killswitch: unknown fifth") << QStringList { "killswitch", "enable", "all", server, "lan" } << "is not \"local\"";
        QTest::newRow("killswitch: lockdown, a word amid the list") << QStringList { "killswitch", "enable", "lockdown", server, "local", server6 } << "not an IPv4 or IPv6";
        QTest::newRow("killswitch: guard without a server") << QStringList { "killswitch", "enable", "tunnel" } << "takes the VPN server";
        // clang-format on
    }
    void badArgumentsChangeNothing()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, complaint);
        QString output;
        QCOMPARE(run(command.first(), command.mid(1), &output), 2);
        QVERIFY2(output.contains(complaint) && output.contains("usage: "), qPrintable(output));
        if (isolated) {
            QCOMPARE(resolvConf(), original.toUtf8());
            arrived();
            probe(false, "tcp", { "198.51.100.50" });
            QVERIFY(arrived() > 0);
        }
    }
    void lockLetsThroughOnlyWhatItShould_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("fromContainer");
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("expect");
        const QString all = "icmp,udp,tcp", elsewhere = "198.51.100.50", elsewhere6 = "2001:db8:1::50";
        const QStringList on { "enable", "all", server, "" }, local { "enable", "all", server, "local" };
        const QStringList replaced = QStringList { "enable", "all", server6, "local", ";" } + on;
        const QStringList lockdown { "enable", "lockdown", server, elsewhere6, "local" };
        const struct
        {
            const char* name;
            QStringList arguments;
            bool fromContainer;
            QString kinds, target;
            Expect expect;
        } rows[] = {
            // Without the lock everything arrives: the probes can see a leak.
            { "off: elsewhere", {}, false, all, elsewhere, RoundTrip },
            { "off, forwarded: elsewhere, IPv6", {}, true, all, elsewhere6, Arrives },
            { "the VPN server", on, false, all, server, RoundTrip },
            { "through the tunnel", on, false, all, "10.8.0.9", RoundTrip },
            { "loopback", on, false, all, "127.0.0.1", RoundTrip },
            { "elsewhere", on, false, all, elsewhere, Blocked },
            { "elsewhere, IPv6", on, false, all, elsewhere6, Blocked },
            { "elsewhere, four words", on.mid(0, 3), false, all, elsewhere, Blocked },
            { "LAN", on, false, all, "192.168.77.10", Blocked },
            { "LAN, link-local", on, false, all, "fe80::10%vk0", Blocked },
            { "DHCP", on, false, "dhcp", elsewhere, Arrives },
            { "DHCPv6", on, false, "dhcp", "fe80::10%vk0", Arrives },
            { "forwarded: elsewhere", on, true, all, elsewhere, Blocked },
            { "forwarded: LAN", on, true, all, "192.168.77.10", Blocked },
            { "forwarded: through the tunnel", on, true, all, "10.8.0.9", Arrives },
            { "local: LAN", local, false, "icmp,tcp", "192.168.77.10", RoundTrip },
            { "local: LAN, unique local", local, false, "icmp,tcp", "fd77::10", RoundTrip },
            { "local: LAN, link-local", local, false, "icmp,tcp", "fe80::10%vk0", RoundTrip },
            { "local: no name asked in the LAN", local, false, "udp", "192.168.77.10", Blocked },
            { "local: elsewhere", local, false, all, elsewhere, Blocked },
            { "local: elsewhere, IPv6", local, false, all, elsewhere6, Blocked },
            { "local, forwarded: LAN", local, true, all, "192.168.77.10", Arrives },
            { "local, forwarded: LAN, IPv6", local, true, all, "fd77::10", Arrives },
            { "local, forwarded: elsewhere", local, true, all, elsewhere, Blocked },
            { "IPv6 server: the server", { "enable", "all", server6, "" }, false, all, server6, RoundTrip },
            // The guard of a running tunnel, and lockdown with its list; the tables add up, and
            // lifting the client's lock leaves lockdown alone.
            { "guard: the server", { "enable", "tunnel", server, "" }, false, all, server, RoundTrip },
            { "guard: elsewhere, IPv6", { "enable", "tunnel", server, "local" }, false, all, elsewhere6, Blocked },
            { "lockdown: a listed server", lockdown, false, all, elsewhere6, RoundTrip },
            { "lockdown: elsewhere", lockdown, false, all, elsewhere, Blocked },
            { "lockdown: LAN", lockdown, false, "icmp,tcp", "192.168.77.10", RoundTrip },
            { "lockdown and the lock add up", lockdown + QStringList { ";" } + on, false, all, elsewhere6, Blocked },
            { "lockdown, the lock lifted", lockdown + QStringList { ";", "disable", "lock" }, false, all, elsewhere,
                Blocked },
            { "lockdown, all lifted", lockdown + QStringList { ";", "disable", "all" }, false, all, elsewhere,
                RoundTrip },
            // Applied again, nothing of the earlier rules stays.
            { "replaced: the new server", replaced, false, all, server, RoundTrip },
            { "replaced: the old server", replaced, false, all, server6, Blocked },
        };
        for (const auto& row : rows) {
            QTest::newRow(row.name) << row.arguments << row.fromContainer << row.kinds << row.target << int(row.expect);
        }
    }
    void lockLetsThroughOnlyWhatItShould()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, fromContainer);
        QFETCH(QString, kinds);
        QFETCH(QString, target);
        QFETCH(int, expect);
        // ";" parts: the lock applied again over the previous one.
        for (const QString& command : arguments.join(' ').split(" ; ", Qt::SkipEmptyParts)) {
            QCOMPARE(run("killswitch", command.split(' ')), 0);
        }
        arrived();
        const QStringList results = probe(fromContainer, kinds, { target });
        const int count = arrived();
        QVERIFY2(results.size() == kinds.count(',') + 1, qPrintable(results.join(", ")));
        const bool loopback = target == "127.0.0.1" || target == "::1";
        QVERIFY2(loopback || (count > 0) == (expect != Blocked), qPrintable(QString::number(count)));
        if (expect == RoundTrip) {
            QCOMPARE(results.filter(QRegularExpression(" answered$")), results);
        }
    }
    // The new rules replace the old ones in one step: a change of server never lets anything out.
    void reEnablingNeverOpensAGap()
    {
        QCOMPARE(run("killswitch", { "enable", "all", server, "" }), 0);
        arrived();
        QProcess load;
        load.start("python3",
            { PROBE_SCRIPT, "--kinds", "udp,tcp", "--timeout", "0.001", "--interval", "0", "--for", "2",
                "198.51.100.50", "2001:db8:1::50" });
        QVERIFY(load.waitForStarted());
        // Changes all through the load, one server family and then the other.
        QElapsedTimer changing;
        changing.start();
        for (int i = 0; changing.elapsed() < 2000; ++i) {
            QCOMPARE(run("killswitch", { "enable", "all", i % 2 ? server : server6, i % 3 ? "local" : "" }), 0);
        }
        QCOMPARE(run("killswitch", { "enable", "all", server, "" }), 0);
        QVERIFY(load.waitForFinished(10000));
        QCOMPARE(arrived(), 0);
        QCOMPARE(probe(false, "tcp", { server }), QStringList { "tcp " + server + " answered" });
    }
    void dnsRestoresTheFileByteForByte_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::newRow("usual") << original.toUtf8();
        QTest::newRow("no final line end") << QByteArray("nameserver 192.0.2.53");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank lines, CR LF, other bytes") << QByteArray("\n\nnameserver 192.0.2.53\r\n# \xff\xfe\n\n");
    }
    // The file here is a bind mount of a deleted file: the tool must rewrite it in place.
    void dnsRestoresTheFileByteForByte()
    {
        QFETCH(QByteArray, user);
        writeResolvConf(user);
        // Nothing to do leaves the user's file alone.
        for (const QStringList& idle : QList<QStringList> { { "vpn" }, { "vpn", A + "@," }, { "user" } }) {
            QCOMPARE(run("dns", idle), 0);
            QCOMPARE(resolvConf(), user);
        }
        const auto nameservers = [] {
            return QString(resolvConf()).split('\n').filter(QRegularExpression("^(nameserver|search) "));
        };
        QCOMPARE(run("dns", { "vpn", A + "@10.8.0.1,fd00:8::1", "tun0@10.8.0.1,fd00:8::1" }), 0);
        QCOMPARE(nameservers(), QStringList({ "nameserver 10.8.0.1", "nameserver fd00:8::1" }));
        // A reconnection whose push has one family: that family only, still the user's file at the end.
        QCOMPARE(run("dns", { "vpn", A + "@,fd00:8:1::1" }), 0);
        QCOMPARE(nameservers(), QStringList { "nameserver fd00:8:1::1" });
        // Restoring takes no entry for granted (the service restores with none at all).
        QString output;
        QCOMPARE(run("dns", { "user", A + "@192.0.2.53,dns.example", "garbage", A + "@2001:db8::53" }, &output), 0);
        QVERIFY2(output.contains("dns.example") && output.contains("skipped"), qPrintable(output));
        QCOMPARE(resolvConf(), user);
        QCOMPARE(run("dns", { "user" }), 0);
        QCOMPARE(resolvConf(), user);
    }
    // A tunnel file an earlier version wrote: whole lines.
    void dnsRestoresAnEarlierTunnelFile()
    {
        writeResolvConf("# Written by the VPN client's dns tool while the tunnel is up; \"dns user\" restores the "
                        "rest.\nnameserver 10.8.0.1\n#vpnc-saved:# mine\n#vpnc-saved:nameserver 192.0.2.53\n");
        QCOMPARE(run("dns", { "user" }), 0);
        QCOMPARE(resolvConf(), QByteArray("# mine\nnameserver 192.0.2.53\n"));
    }

    // Who answers the names: systemd-resolved when its folder is there and resolv.conf is its stub's.
    void resolvedDetection_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("resolvConf"); // "->NAME": a link to NAME in the resolve folder
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("active");
        QTest::newRow("the stub") << QByteArray("# by resolved\nnameserver 127.0.0.53\noptions edns0\n") << true << true;
        QTest::newRow("a link into its folder") << QByteArray("->stub-resolv.conf") << true << true;
        QTest::newRow("not running") << QByteArray("nameserver 127.0.0.53\n") << false << false;
        QTest::newRow("another server too") << QByteArray("nameserver 127.0.0.53\nnameserver 192.0.2.1\n") << true << false;
        QTest::newRow("the stub in a comment") << QByteArray("# nameserver 127.0.0.53\n") << true << false;
        QTest::newRow("the tunnel's file") << ResolverConfig::vpnConfig("nameserver 127.0.0.53\n", { "10.8.0.1" }) << true << false;
        // clang-format on
    }
    void resolvedDetection()
    {
        QFETCH(QByteArray, resolvConf);
        QFETCH(bool, folder);
        QTemporaryDir places;
        ResolvedLinks::Host host;
        host.resolvConf = places.filePath("resolv.conf");
        host.resolveFolder = places.filePath("resolve");
        QVERIFY(!folder || QDir().mkpath(host.resolveFolder));
        const bool link = resolvConf.startsWith("->");
        QFile file(link ? host.resolveFolder + "/" + resolvConf.mid(2) : host.resolvConf);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(link ? "nameserver 192.0.2.1\n" : resolvConf) > 0);
        file.close();
        QVERIFY(!link || QFile::link(file.fileName(), host.resolvConf));
        QTEST(ResolvedLinks::isActive(host), "active");
    }

    // The tunnel's servers on the tunnel's link and back, through a resolvectl stand-in, with the real
    // links of this namespace: vpnt0 a TUN interface, vpnt1 the one a process named openvpn holds,
    // vk0 a veth.
    void resolvedLinks_data()
    {
        QTest::addColumn<QByteArray>("recorded"); // the tool's record of the links it set, before
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("resolvectlExit"); // -1: not installed
        QTest::addColumn<QString>("calls"); // resolvectl's arguments, "|" between calls
        QTest::addColumn<QByteArray>("after"); // the record
        QTest::addColumn<QString>("error"); // in the failure; empty: success
        const QStringList guidVpn { "vpn", A + "@10.8.0.1," };
        // clang-format off
        QTest::newRow("named link") << QByteArray() << QStringList { "vpn", "vpnt0@10.8.0.1,fd00:8::1" } << 0 << "dns vpnt0 10.8.0.1 fd00:8::1|domain vpnt0 ~." << QByteArray("vpnt0\n") << "";
        QTest::newRow("the link OpenVPN holds") << QByteArray() << guidVpn << 0 << "dns vpnt1 10.8.0.1|domain vpnt1 ~." << QByteArray("vpnt1\n") << "";
        QTest::newRow("reconnection") << QByteArray("vpnt0\n") << QStringList { "vpn", A + "@,fd00:8::1" } << 0 << "dns vpnt1 fd00:8::1|domain vpnt1 ~." << QByteArray("vpnt0\nvpnt1\n") << "";
        QTest::newRow("a link of another kind") << QByteArray() << QStringList { "vpn", "vk0@10.8.0.1," } << 0 << "" << QByteArray() << "vk0 is not a TUN/TAP interface";
        QTest::newRow("no server") << QByteArray() << QStringList { "vpn", "vpnt0@," } << 0 << "" << QByteArray() << "";
        QTest::newRow("resolvectl fails") << QByteArray() << guidVpn << 1 << "dns vpnt1 10.8.0.1" << QByteArray("vpnt1\n") << "exit code 1";
        QTest::newRow("not installed") << QByteArray() << guidVpn << -1 << "" << QByteArray() << "not installed";
        QTest::newRow("user: what it set, and only that") << QByteArray("vpnt0\ngone0\n../x\n") << QStringList { "user", "vk0@192.0.2.1" } << 0 << "revert vpnt0" << QByteArray() << "";
        QTest::newRow("user: nothing recorded") << QByteArray() << QStringList { "user" } << -1 << "" << QByteArray() << "";
        QTest::newRow("user: the record stays when reverting fails") << QByteArray("vpnt0\n") << QStringList { "user" } << 1 << "revert vpnt0" << QByteArray("vpnt0\n") << "exit code 1";
        // clang-format on
    }
    void resolvedLinks()
    {
        QFETCH(QByteArray, recorded);
        QFETCH(QStringList, command);
        QFETCH(int, resolvectlExit);
        QFETCH(QString, error);
        QTemporaryDir places;
        ResolvedLinks::Host host;
        host.stateFile = places.filePath("links");
        host.resolvectl = resolvectlExit < 0 ? QString() : places.filePath("resolvectl");
        QFile state(host.stateFile);
        QVERIFY(recorded.isEmpty() || (state.open(QIODevice::WriteOnly) && state.write(recorded) == recorded.size()));
        state.close();
        writeScript(places.filePath("resolvectl"),
            "echo \"$*\" >> \"${0%/*}/calls\"\nexit " + QByteArray::number(resolvectlExit));
        ResolverConfig::Request request;
        QCOMPARE(ResolverConfig::parse(command, &request), QString());
        const QString failure = ResolvedLinks::apply(host, request);
        QVERIFY2(error.isEmpty() ? failure.isEmpty() : failure.contains(error), qPrintable(failure));
        QTEST(readFile(places.filePath("calls")).trimmed().replace('\n', '|'), "calls");
        QTEST(readBytes(host.stateFile), "after");
    }
    // The tool itself where resolved answers: it never rewrites the stub's file, and without a
    // working resolvectl it says so.
    void resolvedByTheTool()
    {
        const QByteArray stub = "nameserver 127.0.0.53\noptions edns0\n";
        writeResolvConf(stub);
        // Over /run: the tool's record of links is this test's too.
        QVERIFY(::mount("tmpfs", "/run", "tmpfs", 0, nullptr) == 0);
        const auto unmount = qScopeGuard([] {
            ::umount2("/run", MNT_DETACH);
        });
        QVERIFY(QDir().mkpath("/run/systemd/resolve"));
        QString output;
        QCOMPARE(run("dns", { "vpn", "vpnt0@10.8.0.1," }, &output), 1);
        QVERIFY2(output.contains("resolvectl"), qPrintable(output));
        QCOMPARE(run("dns", { "user" }), 0);
        QCOMPARE(resolvConf(), stub);
    }
};

// Private namespaces and a file of ours over /etc/resolv.conf, so that the tools never touch the
// machine's. The file itself is removed at once: the mount keeps it.
static bool isolate()
{
    char path[] = "/tmp/tst_tools-resolv-XXXXXX";
    const bool isolated = ::geteuid() == 0 && ::unshare(CLONE_NEWNS | CLONE_NEWNET) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        // The links of this network namespace.
        && ::mount("sysfs", "/sys", "sysfs", 0, nullptr) == 0 && ::mkstemp(path) >= 0
        && ::mount(path, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    ::unlink(path);
    return isolated;
}

int main(int argc, char* argv[])
{
    isolated = isolate(); // before any thread exists, so that every thread and child shares it
    QCoreApplication app(argc, argv);
    TestTools test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tools.moc"
