// killswitch.exe as a real process in a private network namespace, with a veth peer in a second
// namespace standing for the rest of the network: real packets show what the lock lets through.
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <memory>

namespace {

const QString tool = QStringLiteral(VPN_APP_DIR "/killswitch.exe");
const QString server = QStringLiteral("198.51.100.1");
const QString elsewhere = QStringLiteral("198.51.100.50");
const QString lanHost = QStringLiteral("192.168.77.10");
const QString tunnelHost = QStringLiteral("10.8.0.9"); // behind an interface named like a tunnel adapter
const quint16 port = 5555;

bool isolated = false;

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok
        = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output != nullptr) {
        *output = QString::fromUtf8(process.readAll());
    }
    if (!ok) {
        qWarning().noquote() << program << arguments.join(' ') << "failed:" << process.readAll();
    }
    return ok;
}

} // namespace

class TestKillSwitchTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void lockLetsThroughOnlyWhatItShould_data();
    void lockLetsThroughOnlyWhatItShould();
    void repeatedRunsLeaveOneLock();

private:
    bool peer(const QStringList& ipArguments);
    bool tcpReaches(const QString& address);
    bool udpReaches(const QString& address);
    QString ruleset();

    QProcess peerNamespace;
    int ownNamespace = -1;
    int peerNamespaceFd = -1;
    std::unique_ptr<QTcpServer> peerTcp;
    std::unique_ptr<QUdpSocket> peerUdp;
};

bool TestKillSwitchTool::peer(const QStringList& ipArguments)
{
    return run(QStringLiteral("nsenter"),
        QStringList { QStringLiteral("-t"), QString::number(peerNamespace.processId()), QStringLiteral("-n"),
            QStringLiteral("ip") }
            + ipArguments);
}

void TestKillSwitchTool::initTestCase()
{
    if (!isolated) {
        QSKIP("needs root for a private network namespace");
    }
    // The peer: a process in a namespace of its own, the far end of the veth pair.
    peerNamespace.start(
        QStringLiteral("unshare"), { QStringLiteral("-n"), QStringLiteral("sleep"), QStringLiteral("600") });
    QVERIFY(peerNamespace.waitForStarted());
    QTest::qWait(200);
    const QString pid = QString::number(peerNamespace.processId());
    QVERIFY(run("ip", { "link", "set", "lo", "up" }));
    QVERIFY(run("ip", { "link", "add", "vk0", "type", "veth", "peer", "name", "vk1", "netns", pid }));
    QVERIFY(run("ip", { "addr", "add", "198.51.100.2/24", "dev", "vk0" }));
    QVERIFY(run("ip", { "addr", "add", "192.168.77.2/24", "dev", "vk0" }));
    QVERIFY(run("ip", { "link", "set", "vk0", "up" }));
    QVERIFY(peer({ "addr", "add", server + "/24", "dev", "vk1" }));
    QVERIFY(peer({ "addr", "add", elsewhere + "/24", "dev", "vk1" }));
    QVERIFY(peer({ "addr", "add", lanHost + "/24", "dev", "vk1" }));
    QVERIFY(peer({ "link", "set", "vk1", "up" }));
    QVERIFY(peer({ "link", "set", "lo", "up" }));
    // A second link to the peer, named like a tunnel adapter.
    QVERIFY(run("ip", { "link", "add", "tun7", "type", "veth", "peer", "name", "tunpeer", "netns", pid }));
    QVERIFY(run("ip", { "addr", "add", "10.8.0.2/24", "dev", "tun7" }));
    QVERIFY(run("ip", { "link", "set", "tun7", "up" }));
    QVERIFY(peer({ "addr", "add", tunnelHost + "/24", "dev", "tunpeer" }));
    QVERIFY(peer({ "link", "set", "tunpeer", "up" }));

    // Listeners in the peer's namespace: a socket stays in the namespace it was made in.
    ownNamespace = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    peerNamespaceFd = ::open(QFile::encodeName("/proc/" + pid + "/ns/net").constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(ownNamespace >= 0 && peerNamespaceFd >= 0);
    QCOMPARE(::setns(peerNamespaceFd, CLONE_NEWNET), 0);
    peerTcp = std::make_unique<QTcpServer>();
    peerUdp = std::make_unique<QUdpSocket>();
    const bool listening = peerTcp->listen(QHostAddress::AnyIPv4, port) && peerUdp->bind(QHostAddress::AnyIPv4, port);
    QCOMPARE(::setns(ownNamespace, CLONE_NEWNET), 0);
    QVERIFY(listening);
}

void TestKillSwitchTool::cleanupTestCase()
{
    peerTcp.reset();
    peerUdp.reset();
    if (peerNamespace.state() != QProcess::NotRunning) {
        peerNamespace.kill();
        peerNamespace.waitForFinished();
    }
    if (ownNamespace >= 0) {
        ::close(ownNamespace);
    }
    if (peerNamespaceFd >= 0) {
        ::close(peerNamespaceFd);
    }
}

void TestKillSwitchTool::init()
{
    QVERIFY(run(tool, { "disable", "all" }));
}

bool TestKillSwitchTool::tcpReaches(const QString& address)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return socket.waitForConnected(1500);
}

bool TestKillSwitchTool::udpReaches(const QString& address)
{
    while (peerUdp->hasPendingDatagrams()) {
        peerUdp->receiveDatagram();
    }
    QUdpSocket socket;
    const QByteArray payload = "probe " + address.toLatin1();
    socket.writeDatagram(payload, QHostAddress(address), port);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1500) {
        if (peerUdp->waitForReadyRead(100) || peerUdp->hasPendingDatagrams()) {
            return peerUdp->receiveDatagram().data() == payload;
        }
    }
    return false;
}

QString TestKillSwitchTool::ruleset()
{
    QString output;
    run("nft", { "list", "ruleset" }, &output);
    return output;
}

void TestKillSwitchTool::lockLetsThroughOnlyWhatItShould_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("reachable");

    const QStringList off { "disable", "all" };
    const QStringList on { "enable", "all", server, "" };
    const QStringList onLocal { "enable", "all", server, "local" };
    const QStringList onThreeWords { "enable", "all", server };
    QTest::newRow("unlocked: anywhere") << off << elsewhere << true;
    QTest::newRow("unlocked: LAN") << off << lanHost << true;
    QTest::newRow("locked: the VPN server") << on << server << true;
    QTest::newRow("locked: elsewhere") << on << elsewhere << false;
    QTest::newRow("locked: LAN") << on << lanHost << false;
    QTest::newRow("locked: through the tunnel") << on << tunnelHost << true;
    QTest::newRow("locked: loopback") << on << QStringLiteral("127.0.0.1") << true;
    QTest::newRow("locked without fourth word: elsewhere") << onThreeWords << elsewhere << false;
    QTest::newRow("locked with local: LAN") << onLocal << lanHost << true;
    QTest::newRow("locked with local: server") << onLocal << server << true;
    QTest::newRow("locked with local: elsewhere") << onLocal << elsewhere << false;
}

void TestKillSwitchTool::lockLetsThroughOnlyWhatItShould()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, address);
    QFETCH(bool, reachable);

    QTcpServer loopbackServer;
    if (address == QLatin1String("127.0.0.1")) {
        QVERIFY(loopbackServer.listen(QHostAddress::LocalHost, port));
    }
    QVERIFY(run(tool, arguments));
    QCOMPARE(tcpReaches(address), reachable);
    if (address != QLatin1String("127.0.0.1")) {
        QCOMPARE(udpReaches(address), reachable);
    }

    // Lifting the lock opens everything again.
    QVERIFY(run(tool, { "disable", "all" }));
    QVERIFY(tcpReaches(address));
}

void TestKillSwitchTool::repeatedRunsLeaveOneLock()
{
    QVERIFY(run(tool, { "enable", "all", server, "local" }));
    const QString once = ruleset();
    QVERIFY(run(tool, { "enable", "all", server, "local" }));
    QCOMPARE(ruleset(), once);
    QCOMPARE(once.count("table inet vpnc_killswitch"), 1);

    // A new server replaces the old one rather than adding to it.
    QVERIFY(run(tool, { "enable", "all", elsewhere, "" }));
    QVERIFY(!ruleset().contains(server));
    QCOMPARE(tcpReaches(elsewhere), true);
    QCOMPARE(tcpReaches(server), false);

    QVERIFY(run(tool, { "disable", "all" }));
    QVERIFY(run(tool, { "disable", "all" }));
    QVERIFY(!ruleset().contains("vpnc_killswitch"));
}

int main(int argc, char* argv[])
{
    // Before any thread exists, so that every thread and child shares the private namespace.
    isolated = ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0;
    QCoreApplication app(argc, argv);
    TestKillSwitchTool test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killswitchtool.moc"
