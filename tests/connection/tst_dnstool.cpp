// dns.exe (and killswitch.exe's argument checks) as real processes. As root the test runs in
// private mount and network namespaces with its own file bind-mounted over /etc/resolv.conf, so
// the tool rewrites that file and never the machine's.
#include "app/registry.h"
#include "connection/dnsmanager.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString resolvConf = QStringLiteral("/etc/resolv.conf");
const QString guidA = QStringLiteral("{1A000000-0000-0000-0000-00000000000A}");
const QString guidB = QStringLiteral("{2b000000-0000-0000-0000-00000000000b}");
const QString original = QStringLiteral("# the user's own\nsearch lan.example\nnameserver 192.0.2.53\n"
                                        "nameserver 2001:db8::53\noptions edns0\n");

bool isolated = false;

struct Run
{
    int exitCode = -1;
    QString errorText;
};

Run runTool(const QString& name, const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VPN_APP_DIR "/") + name + QStringLiteral(".exe"), arguments);
    Run result;
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.errorText = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString readResolvConf()
{
    QFile file(resolvConf);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<unreadable>");
}

void writeResolvConf(const QString& text)
{
    QFile file(resolvConf);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

// The servers the resolver would use.
QStringList nameservers()
{
    QStringList servers;
    const QStringList lines = readResolvConf().split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.size() == 2 && words.at(0) == QLatin1String("nameserver")) {
            servers.append(words.at(1));
        }
    }
    return servers;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30000) && process.exitCode() == 0;
    if (!ok) {
        qWarning().noquote() << program << arguments.join(' ') << "failed:" << process.readAll();
    }
    return ok;
}

} // namespace

class TestDnsTool : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void badArgumentsAreRefused_data();
    void badArgumentsAreRefused();
    void vpnThenUserRestoresTheUsersFile();
    void nothingToDoLeavesTheFile_data();
    void nothingToDoLeavesTheFile();
    void entriesFromTheDevelopmentHostsRegistry();

private:
    void requireIsolation();
};

void TestDnsTool::requireIsolation()
{
    if (!isolated) {
        QSKIP("needs root for private mount and network namespaces");
    }
}

void TestDnsTool::init()
{
    if (isolated) {
        writeResolvConf(original);
    }
}

void TestDnsTool::badArgumentsAreRefused_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    const QString good = guidA + "@10.8.0.1,fd00:8::1";
    QTest::newRow("dns: nothing") << "dns" << QStringList() << "no command";
    QTest::newRow("dns: unknown mode") << "dns" << QStringList { "reset", good } << "unknown command \"reset\"";
    QTest::newRow("dns: vpn without comma") << "dns" << QStringList { "vpn", guidA + "@10.8.0.1" } << "GUID@IPV4,IPV6";
    QTest::newRow("dns: vpn with three places")
        << "dns" << QStringList { "vpn", guidA + "@10.8.0.1,," } << "GUID@IPV4,IPV6";
    QTest::newRow("dns: vpn families swapped")
        << "dns" << QStringList { "vpn", guidA + "@fd00:8::1,10.8.0.1" } << "not an IPv4 address";
    QTest::newRow("dns: GUID without braces")
        << "dns" << QStringList { "vpn", "1A000000-0000-0000-0000-00000000000A@10.8.0.1," } << "GUID in braces";
    QTest::newRow("dns: no @") << "dns" << QStringList { "user", guidA } << "GUID@SERVERS";
    QTest::newRow("dns: two @") << "dns" << QStringList { "user", guidA + "@@192.0.2.1" } << "GUID@SERVERS";
    QTest::newRow("dns: injected line") << "dns" << QStringList { "user", guidA + "@192.0.2.1\nnameserver 6.6.6.6" }
                                        << "not an IP address";
    QTest::newRow("dns: short IPv4") << "dns" << QStringList { "user", guidA + "@10.1" } << "not an IP address";
    QTest::newRow("dns: scoped IPv6") << "dns" << QStringList { "vpn", guidA + "@,fe80::1%eth0" } << "IPv6";
    QTest::newRow("dns: good entry then a bad one")
        << "dns" << QStringList { "vpn", good, guidB + "@10.8.0.1" } << "GUID@IPV4,IPV6";

    QTest::newRow("killswitch: nothing") << "killswitch" << QStringList() << "no command";
    QTest::newRow("killswitch: enable alone") << "killswitch" << QStringList { "enable" } << "\"enable\" takes";
    QTest::newRow("killswitch: not all") << "killswitch" << QStringList { "enable", "some", "198.51.100.1", "" }
                                         << "\"enable\" takes";
    QTest::newRow("killswitch: host name")
        << "killswitch" << QStringList { "enable", "all", "vpn.example", "" } << "not an IPv4 or IPv6 address";
    QTest::newRow("killswitch: out of range")
        << "killswitch" << QStringList { "enable", "all", "256.1.1.1", "" } << "not an IPv4 or IPv6 address";
    QTest::newRow("killswitch: unknown fifth word")
        << "killswitch" << QStringList { "enable", "all", "198.51.100.1", "lan" } << "is not \"local\"";
    QTest::newRow("killswitch: extra word")
        << "killswitch" << QStringList { "enable", "all", "198.51.100.1", "local", "x" } << "\"enable\" takes";
    QTest::newRow("killswitch: disable some")
        << "killswitch" << QStringList { "disable", "some" } << "\"disable\" takes exactly one argument";
    QTest::newRow("killswitch: unknown command") << "killswitch" << QStringList { "stop", "all" } << "unknown command";
}

void TestDnsTool::badArgumentsAreRefused()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    const Run result = runTool(tool, arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.errorText.contains(complaint), qPrintable(result.errorText));
    QVERIFY2(result.errorText.contains("usage: "), qPrintable(result.errorText));
    if (isolated) {
        QCOMPARE(readResolvConf(), original);
    }
}

void TestDnsTool::vpnThenUserRestoresTheUsersFile()
{
    requireIsolation();
    const QStringList vpn { "vpn", guidA + "@10.8.0.1,fd00:8::1", guidB + "@10.8.0.1,fd00:8::1" };
    QCOMPARE(runTool("dns", vpn).exitCode, 0);
    QCOMPARE(nameservers(), QStringList({ "10.8.0.1", "fd00:8::1" }));
    QVERIFY(!readResolvConf().contains(QRegExp("^search", Qt::CaseSensitive, QRegExp::RegExp2)));

    // Connected again (a reconnection): the user's file is still the one that comes back.
    QCOMPARE(runTool("dns", { "vpn", guidA + "@10.8.0.5," }).exitCode, 0);
    QCOMPARE(nameservers(), QStringList({ "10.8.0.5" }));

    const QStringList user { "user", guidA + "@192.0.2.53,2001:db8::53", guidB + "@" };
    QCOMPARE(runTool("dns", user).exitCode, 0);
    QCOMPARE(readResolvConf(), original);
    QCOMPARE(runTool("dns", user).exitCode, 0);
    QCOMPARE(readResolvConf(), original);
}

void TestDnsTool::nothingToDoLeavesTheFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("vpn without entries") << QStringList { "vpn" };
    QTest::newRow("vpn push without servers") << QStringList { "vpn", guidA + "@," };
    QTest::newRow("user without a tunnel file") << QStringList { "user", guidA + "@192.0.2.1,,2001:db8::1" };
    QTest::newRow("user without entries") << QStringList { "user" };
}

void TestDnsTool::nothingToDoLeavesTheFile()
{
    requireIsolation();
    QFETCH(QStringList, arguments);
    QCOMPARE(runTool("dns", arguments).exitCode, 0);
    QCOMPARE(readResolvConf(), original);
}

void TestDnsTool::entriesFromTheDevelopmentHostsRegistry()
{
    requireIsolation();
    // This namespace's links as the development host seeds them: a TUN adapter and an uplink.
    QVERIFY(run("ip", { "tuntap", "add", "dev", "tun0", "mode", "tun" }));
    QVERIFY(run("ip", { "link", "add", "eth7", "type", "veth", "peer", "name", "eth8" }));
    QTemporaryDir dataHome;
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    const QString devhost = QDir::cleanPath(QStringLiteral(VPN_TEST_DATA_DIR "/../../devhost"));
    QVERIFY(run("python3", { devhost + "/lib/seed_registry.py" }));
    qputenv("PATH", QFile::encodeName(devhost + "/bin") + ':' + qgetenv("PATH"));

    DnsManager manager;
    manager.refresh();
    int vpnConnections = 0;
    QStringList uplinks;
    for (const NetworkInterface& entry : manager.interfaces()) {
        vpnConnections += entry.vpnConnection ? 1 : 0;
        if (entry.name.startsWith("Ethernet")) {
            QCOMPARE(entry.ipv4DnsServers, QStringList { "192.0.2.53" });
            QCOMPARE(entry.ipv6DnsServers, QStringList { "2001:db8::53" });
            uplinks.append(entry.id);
        }
    }
    QCOMPARE(vpnConnections, 1);
    QCOMPARE(uplinks.size(), 2);
    QVERIFY(manager.userDnsSettings().contains(uplinks.at(0) + "@192.0.2.53,2001:db8::53"));

    QCOMPARE(runTool("dns", QStringList { "vpn" } + manager.vpnDnsSettings("10.8.0.1", "fd00:8::1")).exitCode, 0);
    QCOMPARE(nameservers(), QStringList({ "10.8.0.1", "fd00:8::1" }));
    QCOMPARE(runTool("dns", QStringList { "user" } + manager.userDnsSettings()).exitCode, 0);
    QCOMPARE(readResolvConf(), original);
}

namespace {

// Private namespaces with a file of our own over /etc/resolv.conf; true only when the file the
// tools will see is certainly not the machine's.
bool isolate()
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0
        || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    char path[] = "/tmp/tst_dnstool-resolv-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    const bool mounted = ::mount(path, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    struct stat ours = {};
    struct stat seen = {};
    const bool same = mounted && ::stat(path, &ours) == 0 && ::stat("/etc/resolv.conf", &seen) == 0
        && ours.st_ino == seen.st_ino && ours.st_dev == seen.st_dev;
    // Only the mount keeps the file alive now; it goes with the namespace.
    ::unlink(path);
    return same;
}

} // namespace

int main(int argc, char* argv[])
{
    // Before any thread exists, so that every thread and child shares the private namespaces.
    isolated = isolate();
    QCoreApplication app(argc, argv);
    TestDnsTool test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dnstool.moc"
