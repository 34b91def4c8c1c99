// killswitch.exe and dns.exe as real processes. As root the test runs in private network and mount
// namespaces: a veth peer in a further namespace stands for the rest of the network, so real
// packets show what the lock lets through, and a file of its own lies over /etc/resolv.conf.
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString server = "198.51.100.1", elsewhere = "198.51.100.50", lanHost = "192.168.77.10";
const QString tunnelHost = "10.8.0.9"; // behind a link named like a tunnel adapter
const QString A = "{1A000000-0000-0000-0000-00000000000A}";
const QString original = "# mine\nsearch lan.example\nnameserver 192.0.2.53\nnameserver 2001:db8::53\n";
const quint16 port = 5555;
bool isolated = false;

int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program.contains('/') || program == "sh" ? program : VPN_APP_DIR "/" + program + ".exe", arguments);
    const bool finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    if (output != nullptr) {
        *output = process.readAll();
    }
    return finished ? process.exitCode() : -1;
}

QString resolvConf()
{
    QFile file("/etc/resolv.conf");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QString();
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        peer.kill();
        peer.waitForFinished();
    }
    void init()
    {
        if (isolated) {
            QCOMPARE(run("killswitch", { "disable", "all" }), 0);
            QFile file("/etc/resolv.conf");
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(original.toUtf8()) > 0);
        } else if (QString(QTest::currentTestFunction()) != "badArgumentsChangeNothing") {
            QSKIP("needs root for private network and mount namespaces");
        }
    }
    void badArgumentsChangeNothing_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("dns: unknown mode") << "dns" << QStringList { "reset" } << "unknown command \"reset\"";
        QTest::newRow("dns: families swapped")
            << "dns" << QStringList { "vpn", A + "@fd00::1,10.8.0.1" } << "not an IPv4";
        QTest::newRow("dns: injected line")
            << "dns" << QStringList { "user", A + "@192.0.2.1\nnameserver 6.6.6.6" } << "not an IP address";
        QTest::newRow("killswitch: host name")
            << "killswitch" << QStringList { "enable", "all", "vpn.example", "" } << "not an IPv4 or IPv6 address";
        QTest::newRow("killswitch: unknown fifth")
            << "killswitch" << QStringList { "enable", "all", server, "lan" } << "is not \"local\"";
    }
    void badArgumentsChangeNothing()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(QString, complaint);
        QString output;
        QCOMPARE(run(tool, arguments, &output), 2);
        QVERIFY2(output.contains(complaint) && output.contains("usage: "), qPrintable(output));
        QVERIFY(!isolated || (resolvConf() == original && reaches(elsewhere, true)));
    }
    void lockLetsThroughOnlyWhatItShould_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("reachable");
        const QStringList on { "enable", "all", server, "" }, onLocal { "enable", "all", server, "local" };
        QTest::newRow("locked: the VPN server") << on << server << true;
        QTest::newRow("locked: elsewhere") << on << elsewhere << false;
        QTest::newRow("locked: LAN") << on << lanHost << false;
        QTest::newRow("locked: through the tunnel") << on << tunnelHost << true;
        QTest::newRow("locked: loopback") << on << "127.0.0.1" << true;
        QTest::newRow("locked, four words: elsewhere") << QStringList(on.mid(0, 3)) << elsewhere << false;
        QTest::newRow("locked with local: LAN") << onLocal << lanHost << true;
        QTest::newRow("locked with local: elsewhere") << onLocal << elsewhere << false;
    }
    void lockLetsThroughOnlyWhatItShould()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(bool, reachable);
        QCOMPARE(run("killswitch", arguments), 0);
        QCOMPARE(reaches(address, true), reachable);
        QCOMPARE(reaches(address, false), reachable);
        QCOMPARE(run("killswitch", { "disable", "all" }), 0);
        QVERIFY(reaches(address, true));
    }
    // The file here is a bind mount of a deleted file: the tool must rewrite it in place.
    void dnsVpnThenUserRestoresTheFile()
    {
        // Nothing to do leaves the user's file alone.
        for (const QStringList& idle :
            QList<QStringList> { { "vpn" }, { "vpn", A + "@," }, { "user", A + "@1.2.3.4,," } }) {
            QCOMPARE(run("dns", idle), 0);
            QCOMPARE(resolvConf(), original);
        }
        QCOMPARE(run("dns", { "vpn", A + "@10.8.0.1,fd00:8::1", A.toLower() + "@10.8.0.1,fd00:8::1" }), 0);
        QCOMPARE(resolvConf().split('\n').filter(QRegularExpression("^(nameserver|search) ")),
            QStringList({ "nameserver 10.8.0.1", "nameserver fd00:8::1" }));
        // A reconnection: still the user's own file comes back at the end, once or twice.
        QCOMPARE(run("dns", { "vpn", A + "@10.8.0.5," }), 0);
        QVERIFY(resolvConf().contains("nameserver 10.8.0.5\n") && !resolvConf().contains("10.8.0.1"));
        for (int twice = 0; twice < 2; ++twice) {
            QCOMPARE(run("dns", { "user", A + "@192.0.2.53,2001:db8::53" }), 0);
            QCOMPARE(resolvConf(), original);
        }
    }

private:
    // A refusal is an answer from the other end, so the packets got through; nobody listens there.
    static bool reaches(const QString& address, bool tcp)
    {
        if (tcp) {
            QTcpSocket socket;
            socket.connectToHost(address, port);
            return !socket.waitForConnected(1500) && socket.error() == QAbstractSocket::ConnectionRefusedError;
        }
        sockaddr_in to { AF_INET, htons(port), { inet_addr(qPrintable(address)) }, {} };
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        pollfd answer { fd, POLLIN, 0 };
        char byte = 0;
        const bool refused = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0
            && ::send(fd, "probe", 5, 0) == 5 && ::poll(&answer, 1, 1500) == 1 && ::recv(fd, &byte, 1, 0) < 0
            && errno == ECONNREFUSED;
        ::close(fd);
        return refused;
    }

    QProcess peer;
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
    QString output;
    QVERIFY2(
        run("sh",
            { "-c",
                QString(
                    "set -e; P='nsenter -t %1 -n ip'; ip link set lo up; "
                    "ip link add vk0 type veth peer name vk1 netns %1; ip link add tun7 type veth peer name tunpeer "
                    "netns %1; "
                    "ip addr add 198.51.100.2/24 dev vk0; ip addr add 192.168.77.2/24 dev vk0; ip addr add 10.8.0.2/24 "
                    "dev tun7; "
                    "ip link set vk0 up; ip link set tun7 up; $P addr add %2/24 dev vk1; $P addr add %3/24 dev vk1; "
                    "$P addr add %4/24 dev vk1; $P addr add %5/24 dev tunpeer; $P link set vk1 up; $P link set tunpeer "
                    "up")
                    .arg(pid, server, elsewhere, lanHost, tunnelHost) },
            &output)
            == 0,
        qPrintable(output));
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
