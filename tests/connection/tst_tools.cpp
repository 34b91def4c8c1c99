// killswitch.exe and dns.exe as real processes. As root the test runs in private network and mount
// namespaces: a veth peer in a further namespace stands for the rest of the network, so real
// packets show what the lock lets through, and a file of its own lies over /etc/resolv.conf.
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString server = "198.51.100.1", elsewhere = "198.51.100.50", lanHost = "192.168.77.10", tunnelHost = "10.8.0.9";
const QString A = "{1A000000-0000-0000-0000-00000000000A}";
const QString original = "# mine\nsearch lan.example\nnameserver 192.0.2.53\nnameserver 2001:db8::53\n";
// Links to the peer ($0): the rest of the network, and a link named like a tunnel adapter.
const char* const network = "set -e; P=\"nsenter -t $0 -n ip\"; ip link set lo up; ip link add vk0 type veth peer "
                            "name vk1 netns $0; ip link add tun7 type veth peer name tunpeer netns $0; ip addr add "
                            "198.51.100.2/24 dev vk0; ip addr add 192.168.77.2/24 dev vk0; ip addr add 10.8.0.2/24 dev "
                            "tun7; for a in 198.51.100.1 198.51.100.50 192.168.77.10; do $P addr add $a/24 dev vk1; "
                            "done; $P addr add 10.8.0.9/24 dev tunpeer; for l in vk0 tun7; do ip link set $l up; done; "
                            "$P link set vk1 up; $P link set tunpeer up";
bool isolated = false;

int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program.contains('/') ? program : VPN_APP_DIR "/" + program + ".exe", arguments);
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

// A connection to a port nobody listens on: a refusal is the other end's answer, so packets got through both ways.
bool reaches(const QString& address)
{
    QTcpSocket socket;
    socket.connectToHost(address, 5555);
    return !socket.waitForConnected(1500) && socket.error() == QAbstractSocket::ConnectionRefusedError;
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (isolated) {
            peer.start("unshare", { "-n", "sleep", "600" });
            QVERIFY(peer.waitForStarted());
            QTest::qWait(200);
            QString output;
            QVERIFY2(
                run("/bin/sh", { "-c", network, QString::number(peer.processId()) }, &output) == 0, qPrintable(output));
        }
    }
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
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("dns: families swapped") << QStringList { "dns", "vpn", A + "@fd00::1,10.8.0.1" } << "IPv4";
        QTest::newRow("dns: injected line")
            << QStringList { "dns", "user", A + "@1.2.3.4\nnameserver 6.6.6.6" } << "not an IP";
        QTest::newRow("killswitch: host name")
            << QStringList { "killswitch", "enable", "all", "vpn.example", "" } << "not an IPv4 or IPv6";
        QTest::newRow("killswitch: unknown fifth")
            << QStringList { "killswitch", "enable", "all", server, "lan" } << "is not \"local\"";
    }
    void badArgumentsChangeNothing()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, complaint);
        QString output;
        QCOMPARE(run(command.first(), command.mid(1), &output), 2);
        QVERIFY2(output.contains(complaint) && output.contains("usage: "), qPrintable(output));
        QVERIFY(!isolated || (resolvConf() == original && reaches(elsewhere)));
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
        QCOMPARE(reaches(address), reachable);
        QCOMPARE(run("killswitch", { "disable", "all" }), 0);
        QVERIFY(reaches(address));
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
    QProcess peer;
};

// Private namespaces and a file of ours over /etc/resolv.conf, so that the tools never touch the
// machine's. The file itself is removed at once: the mount keeps it.
static bool isolate()
{
    char path[] = "/tmp/tst_tools-resolv-XXXXXX";
    const bool isolated = ::geteuid() == 0 && ::unshare(CLONE_NEWNS | CLONE_NEWNET) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 && ::mkstemp(path) >= 0
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
