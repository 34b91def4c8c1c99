// The management dialogue against a scripted management server on loopback, standing in for
// OpenVPN's side of the socket.
#include "service/servicecontroller.h"
#include "testclient.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

class TestOpenVpnManagement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void greeting_data();
    void greeting();
    void credentialsPrompt();
    void authEcho();
    void verificationFailure();
    void pushReply_data();
    void pushReply();
    void assignIp_data();
    void assignIp();
    void initializationCompletedTwice();
    void byteCount_data();
    void byteCount();
    void brokenInput_data();
    void brokenInput();
    void enormousLine();
    void lastLineWithoutLineEnd();
    void refusedConnections();

private:
    void connectClient();
    // Sends bytes as OpenVPN would and lets the client read them.
    void send(const QByteArray& data);
    QByteArray received();

    ServiceController* controller = nullptr;
    std::unique_ptr<QTcpServer> server;
    QPointer<QTcpSocket> peer;
    std::unique_ptr<TestClient> client;
    std::unique_ptr<LogCapture> log;
};

void TestOpenVpnManagement::initTestCase()
{
    // The client's process object needs the service link; no service is reached in this test.
    controller = new ServiceController(this);
}

void TestOpenVpnManagement::init()
{
    log = std::make_unique<LogCapture>();
    server = std::make_unique<QTcpServer>();
    QVERIFY2(server->listen(QHostAddress(QStringLiteral("127.0.0.1")), OpenVpnClient::managementPort),
        qPrintable(server->errorString()));
    client = std::make_unique<TestClient>();
}

void TestOpenVpnManagement::cleanup()
{
    client.reset();
    delete peer;
    server.reset();
    log.reset();
}

void TestOpenVpnManagement::connectClient()
{
    client->onOpenVpnProcessStarted();
    QVERIFY(server->waitForNewConnection(5000));
    peer = server->nextPendingConnection();
    QVERIFY(peer);
    QVERIFY(log->count(QStringLiteral("OpenVpnClient: Connected to management interface")) == 1);
}

void TestOpenVpnManagement::send(const QByteArray& data)
{
    peer->write(data);
    QVERIFY(peer->waitForBytesWritten(2000));
    // Let the client's socket notice the data and run its reader.
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
}

QByteArray TestOpenVpnManagement::received()
{
    QCoreApplication::processEvents();
    peer->waitForReadyRead(100);
    return peer->readAll();
}

void TestOpenVpnManagement::greeting_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("answered");
    QTest::newRow("OpenVPN 2.6 with help hint")
        << QByteArray(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n") << true;
    QTest::newRow("version 1") << QByteArray(">INFO:OpenVPN Management Interface Version 1\r\n") << true;
    QTest::newRow("no version number") << QByteArray(">INFO:OpenVPN Management Interface Version x\r\n") << false;
    QTest::newRow("other info") << QByteArray(">INFO:something else\r\n") << false;
}

void TestOpenVpnManagement::greeting()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, answered);
    connectClient();
    send(line);
    QCOMPARE(received(), answered ? QByteArray("state on\nlog on\n") : QByteArray());
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Management: Send 'state on'")), answered ? 1 : 0);
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Management: Send 'log on'")), answered ? 1 : 0);
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Management: >INFO:")), 1);
}

void TestOpenVpnManagement::credentialsPrompt()
{
    client->setCredentials(QStringLiteral("us er\"\\"), QStringLiteral("p\"a\\ss word"));
    connectClient();
    send(">PASSWORD:Need 'Auth' username/password\r\n");
    QCOMPARE(received(),
        QByteArray("username 'Auth' \"us er\\\"\\\\\"\n"
                   "password 'Auth' \"p\\\"a\\\\ss word\"\n"));
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Management: Sent password: ***")), 1);
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Management: Sent username: us er\"\\")), 1);
    QCOMPARE(log->count(QStringLiteral("p\"a\\ss word")), 0);
}

void TestOpenVpnManagement::authEcho()
{
    connectClient();
    send(">LOG:1700000000,D,MANAGEMENT: >STATE:1700000000,AUTH,,,,,,\r\n");
    QCOMPARE(log->count(QStringLiteral("info\tOpenVpnClient: Auth passed")), 1);
    QCOMPARE(received(), QByteArray());
}

void TestOpenVpnManagement::verificationFailure()
{
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    connectClient();
    send(">PASSWORD:Verification Failed: 'Auth'\r\n");
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.at(0).at(0).toInt(), int(VpnClient::Error));
    QCOMPARE(states.at(0).at(1).toString(), QStringLiteral("Error: Wrong Username/Password"));
    QCOMPARE(states.at(0).at(2).toBool(), true);
    QCOMPARE(log->count(QStringLiteral("critical\tOpenVpnClient: Error: Wrong Username/Password")), 1);

    // OpenVPN exits with 0 after a rejection; auto-reconnect must not start it again.
    client->onOpenVpnProcessFinished(0);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
    for (const QList<QVariant>& emission : qAsConst(states)) {
        QVERIFY(emission.at(0).toInt() != VpnClient::Connecting);
    }
}

void TestOpenVpnManagement::pushReply_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("ipv4");
    QTest::addColumn<QString>("ipv6");
    const QByteArray head(">LOG:1700000000,,PUSH: Received control message: 'PUSH_REPLY,redirect-gateway def1,");
    const QByteArray tail(",route-gateway 10.8.0.1,topology subnet,ping 10,ifconfig 10.8.0.2 255.255.255.0'\r\n");
    QTest::newRow("both families") << head + "dhcp-option DNS 10.8.0.1,dhcp-option DNS fd00:8::1" + tail
                                   << QStringLiteral("10.8.0.1") << QStringLiteral("fd00:8::1");
    QTest::newRow("later one of a family wins")
        << head + "dhcp-option DNS 10.8.0.1,dhcp-option DNS fd00:8::1,dhcp-option DNS 10.8.0.53" + tail
        << QStringLiteral("10.8.0.53") << QStringLiteral("fd00:8::1");
    QTest::newRow("IPv4 only") << head + "dhcp-option DNS 10.8.0.1" + tail << QString() << QString();
    QTest::newRow("IPv6 only") << head + "dhcp-option DNS fd00:8::1" + tail << QString() << QString();
    QTest::newRow("DNS6 spelling") << head + "dhcp-option DNS 10.8.0.1,dhcp-option DNS6 fd00:8::1" + tail << QString()
                                   << QString();
    QTest::newRow("host name") << head + "dhcp-option DNS 10.8.0.1,dhcp-option DNS dns.example" + tail << QString()
                               << QString();
}

void TestOpenVpnManagement::pushReply()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, ipv4);
    QFETCH(QString, ipv6);
    QSignalSpy dns(client.get(), &VpnClient::dnsServerAddressesPushed);
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    connectClient();
    send(line);
    if (ipv4.isEmpty()) {
        QCOMPARE(dns.count(), 0);
    } else {
        QCOMPARE(dns.count(), 1);
        QCOMPARE(dns.at(0).at(0).toString(), ipv4);
        QCOMPARE(dns.at(0).at(1).toString(), ipv6);
        QCOMPARE(
            log->count(QStringLiteral("Parsed 'PUSH_REPLY' (dhcp-option DNS), IPv4: %1, IPv6: %2").arg(ipv4, ipv6)), 1);
    }
    QCOMPARE(states.count(), 0);
}

void TestOpenVpnManagement::assignIp_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<int>("warnings");
    QTest::newRow("two state lines, first counts")
        << QByteArray(">STATE:1700000000,ASSIGN_IP,,10.8.0.2,,,,,fd00:8::1000\r\n"
                      ">STATE:1700000001,ASSIGN_IP,,10.8.0.3,,,,,fd00:8::1001\r\n")
        << QStringList { QStringLiteral("10.8.0.2") } << 0;
    QTest::newRow("log echo is ignored") << QByteArray(
        ">LOG:1700000000,D,MANAGEMENT: >STATE:1700000000,ASSIGN_IP,,10.8.0.9,,,,,\r\n")
                                         << QStringList() << 0;
    QTest::newRow("without separators, then a good one") << QByteArray(">STATE:1700000000,ASSIGN_IP\r\n"
                                                                       ">STATE:1700000000,ASSIGN_IP,,10.8.0.2,,,,,\r\n")
                                                         << QStringList { QStringLiteral("10.8.0.2") } << 1;
    QTest::newRow("no address field") << QByteArray(">STATE:1700000000,ASSIGN_IP,,,,,,,fd00::1\r\n") << QStringList()
                                      << 1;
    QTest::newRow("address to the end of the line")
        << QByteArray(">STATE:1700000000,ASSIGN_IP,,10.8.0.7\r\n") << QStringList { QStringLiteral("10.8.0.7") } << 1;
    QTest::newRow("garbage address") << QByteArray(">STATE:1700000000,ASSIGN_IP,,10.8.0.x,,,,\r\n") << QStringList()
                                     << 1;
}

void TestOpenVpnManagement::assignIp()
{
    QFETCH(QByteArray, lines);
    QFETCH(QStringList, reported);
    QFETCH(int, warnings);
    QSignalSpy assigned(client.get(), &VpnClient::assignedInternalIp);
    connectClient();
    send(lines);
    QStringList got;
    for (const QList<QVariant>& emission : qAsConst(assigned)) {
        got << emission.at(0).toString();
    }
    QCOMPARE(got, reported);
    QCOMPARE(log->count(QStringLiteral("warning\tOpenVpnClient: Cannot parse ASSIGN_IP line")), warnings);
}

void TestOpenVpnManagement::initializationCompletedTwice()
{
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    connectClient();
    send(">LOG:1700000000,I,Initialization Sequence Completed\r\n");
    send(">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,198.51.100.1,88,,\r\n"
         ">LOG:1700000001,I,Initialization Sequence Completed\r\n");
    QCOMPARE(received(), QByteArray("bytecount 1\nbytecount 1\n"));
    QCOMPARE(states.count(), 2);
    for (const QList<QVariant>& emission : qAsConst(states)) {
        QCOMPARE(emission.at(0).toInt(), int(VpnClient::Connected));
        QCOMPARE(emission.at(1).toString(), QString());
        QCOMPARE(emission.at(2).toBool(), false);
    }
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: ========== INITIALIZATION SEQUENCE COMPLETED ==========")), 2);
}

void TestOpenVpnManagement::byteCount_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<quint64>>("counts");
    QTest::newRow("plain") << QByteArray(">BYTECOUNT:1024,2048\r\n") << QList<quint64> { 1024, 2048 };
    QTest::newRow("beyond 32 bits") << QByteArray(">BYTECOUNT:5000000000,7\r\n") << QList<quint64> { 5000000000ULL, 7 };
    QTest::newRow("no second field") << QByteArray(">BYTECOUNT:1024\r\n") << QList<quint64>();
    QTest::newRow("empty second field") << QByteArray(">BYTECOUNT:1024,\r\n") << QList<quint64>();
    QTest::newRow("not a number") << QByteArray(">BYTECOUNT:abc,12\r\n") << QList<quint64>();
    QTest::newRow("negative") << QByteArray(">BYTECOUNT:-1,12\r\n") << QList<quint64>();
}

void TestOpenVpnManagement::byteCount()
{
    QFETCH(QByteArray, line);
    QFETCH(QList<quint64>, counts);
    QSignalSpy bytes(client.get(), &VpnClient::byteCountChanged);
    connectClient();
    send(line);
    if (counts.isEmpty()) {
        QCOMPARE(bytes.count(), 0);
    } else {
        QCOMPARE(bytes.count(), 1);
        QCOMPARE(bytes.at(0).at(0).value<quint64>(), counts.at(0));
        QCOMPARE(bytes.at(0).at(1).value<quint64>(), counts.at(1));
    }
    QCOMPARE(log->count(QStringLiteral("BYTECOUNT")), 0);
}

void TestOpenVpnManagement::brokenInput_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("connected");
    QTest::addColumn<int>("byteCounts");
    QTest::newRow("line split across reads")
        << QList<QByteArray> { ">LOG:1,I,Initialization Seq", "uence Completed\r", "\n" } << 1 << 0;
    QTest::newRow("several lines in one read")
        << QList<QByteArray> { ">BYTECOUNT:1,2\r\n>LOG:1,I,Initialization Sequence Completed\r\n>BYTECOUNT:3,4\r\n" }
        << 1 << 2;
    QTest::newRow("empty lines between") << QList<QByteArray> { "\r\n\r\n>BYTECOUNT:1,2\r\n\n\n>BYTECOUNT:3,4\n" } << 0
                                         << 2;
    QTest::newRow("non-UTF-8 bytes") << QList<QByteArray> { QByteArray(">LOG:1,I,\xff\xfe\xc3(Initialization "
                                                                       "Sequence \x80"
                                                                       "Completed\r\n"),
        QByteArray(">BYTECOUNT:\xff,1\r\n>STATE:1,ASSIGN_IP,,\xfe\xff,,,,\r\n") }
                                     << 0 << 0;
    QTest::newRow("NUL bytes") << QList<QByteArray> { QByteArray(">BYTECOUNT:1\0,2\r\n", 16) } << 0 << 0;
}

void TestOpenVpnManagement::brokenInput()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, connected);
    QFETCH(int, byteCounts);
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy bytes(client.get(), &VpnClient::byteCountChanged);
    QSignalSpy assigned(client.get(), &VpnClient::assignedInternalIp);
    QSignalSpy dns(client.get(), &VpnClient::dnsServerAddressesPushed);
    connectClient();
    for (const QByteArray& piece : qAsConst(pieces)) {
        send(piece);
    }
    QCOMPARE(states.count(), connected);
    QCOMPARE(bytes.count(), byteCounts);
    QCOMPARE(assigned.count(), 0);
    QCOMPARE(dns.count(), 0);
}

void TestOpenVpnManagement::enormousLine()
{
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy bytes(client.get(), &VpnClient::byteCountChanged);
    connectClient();
    // Four megabytes without a line end whose tail looks like a meaningful line: none of it counts.
    QByteArray junk(4 * 1024 * 1024, 'A');
    junk += ">LOG:1,I,Initialization Sequence Completed >BYTECOUNT:9,9\r\n";
    for (int at = 0; at < junk.size(); at += 256 * 1024) {
        send(junk.mid(at, 256 * 1024));
    }
    send(">BYTECOUNT:5,6\r\n");
    QCOMPARE(states.count(), 0);
    QCOMPARE(bytes.count(), 1);
    QCOMPARE(bytes.at(0).at(0).value<quint64>(), quint64(5));
    QVERIFY(log->count(QStringLiteral("warning\tOpenVpnClient: Management: Line longer than")) >= 1);
    for (const QString& line : log->lines()) {
        QVERIFY(line.size() < 70 * 1024);
    }
}

void TestOpenVpnManagement::lastLineWithoutLineEnd()
{
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    connectClient();
    send(">LOG:1,I,Initialization Sequence Completed");
    QCOMPARE(states.count(), 0);
    // OpenVPN closing the socket ends the line.
    peer->disconnectFromHost();
    QTRY_COMPARE(states.count(), 1);
    QCOMPARE(states.at(0).at(0).toInt(), int(VpnClient::Connected));
}

void TestOpenVpnManagement::refusedConnections()
{
    server.reset();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client->connectToManagementInterface());
    const QString warning = QStringLiteral("warning\tOpenVpnClient: Can't connect to management interface");
    QTRY_COMPARE_WITH_TIMEOUT(log->count(warning), 1, 45000);
    // Thirty attempts about a second apart.
    QVERIFY2(timer.elapsed() >= 28000, qPrintable(QString::number(timer.elapsed())));

    // No thirty-first attempt: a port that opens now sees no connection.
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress(QStringLiteral("127.0.0.1")), OpenVpnClient::managementPort));
    QTest::qWait(2500);
    QVERIFY(!server->hasPendingConnections());
    QCOMPARE(log->count(warning), 1);
    QCOMPARE(log->count(QStringLiteral("Connected to management interface")), 0);
}

QTEST_GUILESS_MAIN(TestOpenVpnManagement)
#include "tst_openvpnmanagement.moc"
