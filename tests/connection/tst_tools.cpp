// killswitch.exe and dns.exe as real processes. As root the test runs in private network and mount
// namespaces: a veth peer in a further namespace stands for the rest of the network, so real
// packets show what the lock lets through, and a file of its own lies over /etc/resolv.conf.
#include "app/registry.h"
#include "connection/dnsmanager.h"

#include <QDir>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString server = QStringLiteral("198.51.100.1");
const QString elsewhere = QStringLiteral("198.51.100.50");
const QString lanHost = QStringLiteral("192.168.77.10");
const QString tunnelHost = QStringLiteral("10.8.0.9"); // behind a link named like a tunnel adapter
const QString A = QStringLiteral("{1A000000-0000-0000-0000-00000000000A}");
const QString original = QStringLiteral("# mine\nsearch lan.example\nnameserver 192.0.2.53\nnameserver 2001:db8::53\n");
const quint16 port = 5555;
bool isolated = false;

int run(const QString& program, const QStringList& arguments, QString* errorText = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    if (errorText != nullptr) {
        *errorText = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    }
    return finished ? process.exitCode() : -1;
}

int tool(const QString& name, const QStringList& arguments, QString* errorText = nullptr)
{
    return run(QStringLiteral(VPN_APP_DIR "/%1.exe").arg(name), arguments, errorText);
}

QString resolvConf()
{
    QFile file(QStringLiteral("/etc/resolv.conf"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList nameservers()
{
    return resolvConf().split('\n').filter(QRegularExpression("^nameserver ")).replaceInStrings("nameserver ", "");
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void badArgumentsChangeNothing_data();
    void badArgumentsChangeNothing();
    void lockLetsThroughOnlyWhatItShould_data();
    void lockLetsThroughOnlyWhatItShould();
    void repeatedLocksLeaveOne();
    void dnsVpnThenUserRestoresTheFile();
    void dnsEntriesFromTheDevelopmentHostsRegistry();

private:
    bool reaches(const QString& address, bool tcp);

    QProcess peer;
    QTcpServer loopbackTcp;
    QUdpSocket loopbackUdp;
    std::unique_ptr<QTcpServer> peerTcp;
    std::unique_ptr<QUdpSocket> peerUdp;
};

void TestTools::initTestCase()
{
    if (!isolated) {
        return;
    }
    peer.start("unshare", { "-n", "sleep", "600" });
    QVERIFY(peer.waitForStarted());
    QTest::qWait(200);
    const QString pid = QString::number(peer.processId());
    const QStringList inPeer { "nsenter", "-t", pid, "-n", "ip" };
    const QList<QStringList> setup { { "ip", "link", "set", "lo", "up" },
        { "ip", "link", "add", "vk0", "type", "veth", "peer", "name", "vk1", "netns", pid },
        { "ip", "link", "add", "tun7", "type", "veth", "peer", "name", "tunpeer", "netns", pid },
        { "ip", "addr", "add", "198.51.100.2/24", "dev", "vk0" },
        { "ip", "addr", "add", "192.168.77.2/24", "dev", "vk0" }, { "ip", "addr", "add", "10.8.0.2/24", "dev", "tun7" },
        { "ip", "link", "set", "vk0", "up" }, { "ip", "link", "set", "tun7", "up" },
        inPeer + QStringList { "addr", "add", server + "/24", "dev", "vk1" },
        inPeer + QStringList { "addr", "add", elsewhere + "/24", "dev", "vk1" },
        inPeer + QStringList { "addr", "add", lanHost + "/24", "dev", "vk1" },
        inPeer + QStringList { "addr", "add", tunnelHost + "/24", "dev", "tunpeer" },
        inPeer + QStringList { "link", "set", "vk1", "up" }, inPeer + QStringList { "link", "set", "tunpeer", "up" } };
    for (const QStringList& command : setup) {
        QVERIFY2(run(command.first(), command.mid(1)) == 0, qPrintable(command.join(' ')));
    }
    // Listeners in the peer's namespace: a socket stays in the namespace it was made in.
    const int own = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int other = ::open(QFile::encodeName("/proc/" + pid + "/ns/net").constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(own >= 0 && other >= 0 && ::setns(other, CLONE_NEWNET) == 0);
    peerTcp = std::make_unique<QTcpServer>();
    peerUdp = std::make_unique<QUdpSocket>();
    const bool listening = peerTcp->listen(QHostAddress::AnyIPv4, port) && peerUdp->bind(QHostAddress::AnyIPv4, port);
    QVERIFY(::setns(own, CLONE_NEWNET) == 0 && listening);
    ::close(own);
    ::close(other);
    QVERIFY(loopbackTcp.listen(QHostAddress::LocalHost, port) && loopbackUdp.bind(QHostAddress::LocalHost, port));
}

void TestTools::cleanupTestCase()
{
    peer.kill();
    peer.waitForFinished();
}

void TestTools::init()
{
    if (isolated) {
        QCOMPARE(tool("killswitch", { "disable", "all" }), 0);
        QFile file("/etc/resolv.conf");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(original.toUtf8()) > 0);
    } else if (QString(QTest::currentTestFunction()) != "badArgumentsChangeNothing") {
        QSKIP("needs root for private network and mount namespaces");
    }
}

bool TestTools::reaches(const QString& address, bool tcp)
{
    if (tcp) {
        QTcpSocket socket;
        socket.connectToHost(address, port);
        return socket.waitForConnected(1500);
    }
    QUdpSocket* receiver = address == "127.0.0.1" ? &loopbackUdp : peerUdp.get();
    while (receiver->hasPendingDatagrams()) {
        receiver->receiveDatagram();
    }
    QUdpSocket().writeDatagram("probe", QHostAddress(address), port);
    return receiver->waitForReadyRead(1500) && receiver->receiveDatagram().data() == "probe";
}

void TestTools::badArgumentsChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("dns: unknown mode") << "dns" << QStringList { "reset" } << "unknown command \"reset\"";
    QTest::newRow("dns: vpn without comma") << "dns" << QStringList { "vpn", A + "@10.8.0.1" } << "GUID@IPV4,IPV6";
    QTest::newRow("dns: families swapped") << "dns" << QStringList { "vpn", A + "@fd00::1,10.8.0.1" } << "not an IPv4";
    QTest::newRow("dns: injected line") << "dns" << QStringList { "user", A + "@192.0.2.1\nnameserver 6.6.6.6" }
                                        << "not an IP address";
    QTest::newRow("dns: bad after good") << "dns" << QStringList { "vpn", A + "@10.8.0.1,", A + "@10.1," }
                                         << "not an IPv4";
    QTest::newRow("killswitch: enable alone") << "killswitch" << QStringList { "enable" } << "\"enable\" takes";
    QTest::newRow("killswitch: host name")
        << "killswitch" << QStringList { "enable", "all", "vpn.example", "" } << "not an IPv4 or IPv6 address";
    QTest::newRow("killswitch: unknown fifth")
        << "killswitch" << QStringList { "enable", "all", server, "lan" } << "is not \"local\"";
    QTest::newRow("killswitch: disable some") << "killswitch" << QStringList { "disable", "some" } << "exactly one";
}

void TestTools::badArgumentsChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    QString errorText;
    QCOMPARE(tool(name, arguments, &errorText), 2);
    QVERIFY2(errorText.contains(complaint) && errorText.contains("usage: "), qPrintable(errorText));
    if (isolated) {
        QCOMPARE(resolvConf(), original);
        QVERIFY(reaches(elsewhere, true));
    }
}

void TestTools::lockLetsThroughOnlyWhatItShould_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("reachable");
    const QStringList on { "enable", "all", server, "" };
    const QStringList onLocal { "enable", "all", server, "local" };
    QTest::newRow("unlocked: anywhere") << QStringList { "disable", "all" } << elsewhere << true;
    QTest::newRow("locked: the VPN server") << on << server << true;
    QTest::newRow("locked: elsewhere") << on << elsewhere << false;
    QTest::newRow("locked: LAN") << on << lanHost << false;
    QTest::newRow("locked: through the tunnel") << on << tunnelHost << true;
    QTest::newRow("locked: loopback") << on << "127.0.0.1" << true;
    QTest::newRow("locked, four words: elsewhere") << QStringList(on.mid(0, 3)) << elsewhere << false;
    QTest::newRow("locked with local: LAN") << onLocal << lanHost << true;
    QTest::newRow("locked with local: elsewhere") << onLocal << elsewhere << false;
}

void TestTools::lockLetsThroughOnlyWhatItShould()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, address);
    QFETCH(bool, reachable);
    QCOMPARE(tool("killswitch", arguments), 0);
    QCOMPARE(reaches(address, true), reachable);
    QCOMPARE(reaches(address, false), reachable);
    QCOMPARE(tool("killswitch", { "disable", "all" }), 0);
    QVERIFY(reaches(address, true));
}

void TestTools::repeatedLocksLeaveOne()
{
    QString once, twice;
    QCOMPARE(tool("killswitch", { "enable", "all", server, "local" }), 0);
    run("nft", { "list", "ruleset" }, &once);
    QCOMPARE(tool("killswitch", { "enable", "all", server, "local" }), 0);
    run("nft", { "list", "ruleset" }, &twice);
    QCOMPARE(twice, once);
    // Another server replaces the first rather than joining it.
    QCOMPARE(tool("killswitch", { "enable", "all", elsewhere, "" }), 0);
    QVERIFY(reaches(elsewhere, true) && !reaches(server, true));
    QCOMPARE(tool("killswitch", { "disable", "all" }), 0);
    QCOMPARE(tool("killswitch", { "disable", "all" }), 0);
    run("nft", { "list", "ruleset" }, &twice);
    QVERIFY(!twice.contains("vpnc_killswitch"));
}

void TestTools::dnsVpnThenUserRestoresTheFile()
{
    // Nothing to do leaves the user's file alone.
    for (const QStringList& idle :
        QList<QStringList> { { "vpn" }, { "vpn", A + "@," }, { "user", A + "@192.0.2.1,," } }) {
        QCOMPARE(tool("dns", idle), 0);
        QCOMPARE(resolvConf(), original);
    }
    QCOMPARE(
        tool("dns", { "vpn", A + "@10.8.0.1,fd00:8::1", "{2b000000-0000-0000-0000-00000000000b}@10.8.0.1,fd00:8::1" }),
        0);
    QCOMPARE(nameservers(), QStringList({ "10.8.0.1", "fd00:8::1" }));
    QVERIFY(!resolvConf().contains("\nsearch"));
    // A reconnection: still the user's own file comes back at the end.
    QCOMPARE(tool("dns", { "vpn", A + "@10.8.0.5," }), 0);
    QCOMPARE(nameservers(), QStringList { "10.8.0.5" });
    QCOMPARE(tool("dns", { "user", A + "@192.0.2.53,2001:db8::53" }), 0);
    QCOMPARE(resolvConf(), original);
    QCOMPARE(tool("dns", { "user", A + "@192.0.2.53,2001:db8::53" }), 0);
    QCOMPARE(resolvConf(), original);
}

void TestTools::dnsEntriesFromTheDevelopmentHostsRegistry()
{
    // This namespace's links seeded as the development host does it: a TUN adapter and an uplink.
    QCOMPARE(run("ip", { "tuntap", "add", "dev", "tun0", "mode", "tun" }), 0);
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    const QString devhost = QDir::cleanPath(VPN_TEST_DATA_DIR "/../../devhost");
    QCOMPARE(run("python3", { devhost + "/lib/seed_registry.py" }), 0);
    qputenv("PATH", QFile::encodeName(devhost + "/bin") + ':' + qgetenv("PATH"));

    DnsManager manager;
    manager.refresh();
    QStringList seen;
    for (const NetworkInterface& entry : manager.interfaces()) {
        seen << QString("%1 %2 %3").arg(entry.name, entry.vpnConnection ? "vpn" : "-", entry.ipv4DnsServers.join(','));
    }
    QVERIFY2(seen.contains("Local Area Connection vpn ") && seen.contains("Ethernet - 192.0.2.53"),
        qPrintable(seen.join('\n')));
    QCOMPARE(tool("dns", QStringList { "vpn" } + manager.vpnDnsSettings("10.8.0.1", "fd00:8::1")), 0);
    QCOMPARE(nameservers(), QStringList({ "10.8.0.1", "fd00:8::1" }));
    QCOMPARE(tool("dns", QStringList { "user" } + manager.userDnsSettings()), 0);
    QCOMPARE(resolvConf(), original);
}

// Private namespaces and a file of ours over /etc/resolv.conf; true only when the file the tools
// will see is certainly not the machine's. The file itself is removed at once: the mount keeps it.
static bool isolate()
{
    char path[] = "/tmp/tst_tools-resolv-XXXXXX";
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0
        || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    const int fd = ::mkstemp(path);
    struct stat ours = {}, seen = {};
    const bool same = fd >= 0 && ::mount(path, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0
        && ::fstat(fd, &ours) == 0 && ::stat("/etc/resolv.conf", &seen) == 0 && ours.st_ino == seen.st_ino
        && ours.st_dev == seen.st_dev;
    ::unlink(path);
    return same;
}

int main(int argc, char* argv[])
{
    isolated = isolate(); // before any thread exists, so that every thread and child shares it
    QCoreApplication app(argc, argv);
    TestTools test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tools.moc"
