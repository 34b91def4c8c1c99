// The configuration file, and the management dialogue against a scripted management server on
// loopback standing in for OpenVPN's side of the socket.
#include "deploymentconfig.h"
#include "service/servicecontroller.h"
#include "support.h"

#include <QPointer>
#include <QTcpServer>
#include <QtTest>

#include <memory>

class TestOpenVpnClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The client's process object needs the service link; no service is reached here.
        new ServiceController(this);
    }
    void init();
    void cleanup();
    void stateNames();
    void configFile_data();
    void configFile();
    void dialogue_data();
    void dialogue();
    void verificationFailure();
    void refusedConnections();

private:
    void connectClient();
    void send(const QByteArray& data);

    std::unique_ptr<QTcpServer> server;
    QPointer<QTcpSocket> peer;
    std::unique_ptr<TestClient> client;
    std::unique_ptr<LogCapture> log;
    QStringList events;
};

void TestOpenVpnClient::init()
{
    log = std::make_unique<LogCapture>();
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress(QStringLiteral("127.0.0.1")), OpenVpnClient::managementPort));
    client = std::make_unique<TestClient>();
    client->setCredentials(QStringLiteral("us er\"\\"), QStringLiteral("p\"a\\ss word"));
    events.clear();
    connect(client.get(), &VpnClient::stateChanged, this, [this](int state, const QString& text, bool critical) {
        events
            << (VpnClient::stateName(state, false) + QLatin1Char(' ') + text + (critical ? " critical" : "")).trimmed();
    });
    connect(client.get(), &VpnClient::assignedInternalIp, this, [this](const QString& ip) {
        events << QStringLiteral("ip ") + ip;
    });
    connect(client.get(), &VpnClient::dnsServerAddressesPushed, this, [this](const QString& v4, const QString& v6) {
        events << QStringLiteral("dns %1 %2").arg(v4, v6);
    });
    connect(client.get(), &VpnClient::byteCountChanged, this, [this](quint64 in, quint64 out) {
        events << QStringLiteral("bytes %1 %2").arg(in).arg(out);
    });
}

void TestOpenVpnClient::cleanup()
{
    client.reset();
    delete peer;
    server.reset();
    log.reset();
}

void TestOpenVpnClient::connectClient()
{
    client->onOpenVpnProcessStarted();
    QVERIFY(server->waitForNewConnection(5000));
    peer = server->nextPendingConnection();
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Connected to management interface")), 1);
}

// Sends bytes as OpenVPN would and lets the client read them.
void TestOpenVpnClient::send(const QByteArray& data)
{
    peer->write(data);
    QVERIFY(peer->waitForBytesWritten(2000));
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(10);
    }
}

void TestOpenVpnClient::stateNames()
{
    QStringList names;
    for (int state = -1; state <= 6; ++state) {
        names << VpnClient::stateName(state, false);
    }
    QCOMPARE(names.join(' '),
        QStringLiteral("Unknown Disconnected Connecting Disconnecting Connected Error Unknown Unknown"));
    QCOMPARE(VpnClient::stateName(VpnClient::Error, true), QStringLiteral("'Error'"));
}

void TestOpenVpnClient::configFile_data()
{
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("directives");
    QTest::newRow("UDP") << true << "88 udp"
                         << "register-dns|dhcp-renew|block-outside-dns|mute-replay-warnings|replay-window 256";
    QTest::newRow("TCP") << false << "8080 tcp"
                         << "register-dns|dhcp-renew|block-outside-dns";
}

void TestOpenVpnClient::configFile()
{
    QFETCH(bool, udp);
    QFETCH(QString, remote);
    QFETCH(QString, directives);
    QString path;
    QByteArray bytes;
    {
        OpenVpnClient owner;
        owner.setServer(QStringLiteral("10.0.0.1"), udp, false);
        path = owner.createConfigFile();
        QVERIFY(QFileInfo(path).isAbsolute());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    QVERIFY2(!QFileInfo::exists(path), "the file goes with its client");
    // CR LF line ends throughout, no byte order mark, no placeholder left.
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    QVERIFY(!QString::fromLatin1(bytes).contains(QRegularExpression(QStringLiteral("<[A-Z_]+>"))));

    // The deployment's key and certificate fill the template's blocks, whatever surrounds them there.
    const auto block = [](const char* source, const char* what) {
        const QString text = QString::fromLatin1(source);
        const int from = text.indexOf(QStringLiteral("-----BEGIN %1-----").arg(what));
        const QString end = QStringLiteral("-----END %1-----").arg(what);
        return text.mid(from, text.indexOf(end, from) + end.size() - from).split(QLatin1Char('\n'));
    };
    const QString head = QStringLiteral(
        "client|dev tun|management 127.0.0.1 61973|remote 10.0.0.1 %1|auth-user-pass|auth-nocache|nobind|"
        "auth SHA256|cipher AES-256-GCM|tls-client|verb 3|tls-cipher TLS-ECDHE-ECDSA-WITH-AES-256-GCM-SHA384|"
        "remote-cert-eku \"TLS Web Server Authentication\"|persist-key|persist-tun|compress lz4-v2||");
    const QStringList expected
        = QString(head.arg(remote) + directives + "|||<tls-crypt>|#|# 2048 bit OpenVPN static key|#")
              .split(QLatin1Char('|'))
        + block(Deployment::openVpnTlsCryptKey, "OpenVPN Static key V1")
        + QStringList { "", "</tls-crypt>", "", "<ca>" } + block(Deployment::openVpnCaPem, "CERTIFICATE")
        + QStringList { "", "</ca>", "" };
    QCOMPARE(QString::fromLatin1(bytes).split(QStringLiteral("\r\n")), expected);
}

void TestOpenVpnClient::dialogue_data()
{
    QTest::addColumn<QByteArray>("pieces"); // what OpenVPN sends, "|" between separate writes
    QTest::addColumn<QByteArray>("reply"); // what the client writes back
    QTest::addColumn<QString>("expected"); // the client's signals, in order
    QTest::addColumn<int>("warnings");
    const auto row
        = [](const char* name, const QByteArray& pieces, const char* reply, const char* expected, int warnings) {
              QTest::newRow(name) << pieces << QByteArray(reply) << QString(expected) << warnings;
          };
    const QByteArray hello(">INFO:OpenVPN Management Interface Version ");
    row("greeting 2.6", hello + "5 -- type 'help' for more info\r\n", "state on\nlog on\n", "", 0);
    row("greeting 1", hello + "1\r\n", "state on\nlog on\n", "", 0);
    row("greeting no number", hello + "x\r\n", "", "", 0);
    row("other info", ">INFO:something else\r\n", "", "", 0);
    row("prompt", ">PASSWORD:Need 'Auth' username/password\r\n",
        "username 'Auth' \"us er\\\"\\\\\"\npassword 'Auth' \"p\\\"a\\\\ss word\"\n", "", 0);

    const QByteArray push(">LOG:1700000000,,PUSH: Received control message: 'PUSH_REPLY,redirect-gateway def1,"
                          "dhcp-option DNS 10.8.0.1");
    const QByteArray end(",route-gateway 10.8.0.1,topology subnet,ping 10,ifconfig 10.8.0.2 255.255.255.0'\r\n");
    row("push both", push + ",dhcp-option DNS fd00:8::1" + end, "", "dns 10.8.0.1 fd00:8::1", 0);
    row("push later wins", push + ",dhcp-option DNS fd00:8::1,dhcp-option DNS 10.8.0.53" + end, "",
        "dns 10.8.0.53 fd00:8::1", 0);
    row("push IPv4 only", push + end, "", "", 0);
    row("push IPv6 only", QByteArray(push).replace("10.8.0.1", "fd00:8::1") + end, "", "", 0);
    row("push DNS6", push + ",dhcp-option DNS6 fd00:8::1" + end, "", "", 0);
    row("push host name", push + ",dhcp-option DNS dns.example" + end, "", "", 0);

    row("two ASSIGN_IP", ">STATE:1,ASSIGN_IP,,10.8.0.2,,,,,fd00::1000\r\n>STATE:2,ASSIGN_IP,,10.8.0.3,,,,,\r\n", "",
        "ip 10.8.0.2", 0);
    row("MANAGEMENT echo", ">LOG:1,D,MANAGEMENT: >STATE:1,ASSIGN_IP,,10.8.0.9,,,,,\r\n", "", "", 0);
    row("ASSIGN_IP bare", ">STATE:1,ASSIGN_IP\r\n>STATE:1,ASSIGN_IP,,10.8.0.2,,,,,\r\n", "", "ip 10.8.0.2", 1);
    row("ASSIGN_IP no address", ">STATE:1,ASSIGN_IP,,,,,,,fd00::1\r\n", "", "", 1);
    row("ASSIGN_IP to line end", ">STATE:1,ASSIGN_IP,,10.8.0.7\r\n", "", "ip 10.8.0.7", 1);
    row("ASSIGN_IP garbage", ">STATE:1,ASSIGN_IP,,10.8.0.x,,,,\r\n", "", "", 1);

    const QByteArray done(">LOG:1,I,Initialization Sequence Completed\r\n");
    row("completed twice", done + "|>STATE:1,CONNECTED,SUCCESS,10.8.0.2,198.51.100.1,88,,\r\n" + done,
        "bytecount 1\nbytecount 1\n", "Connected;Connected", 0);
    row("bytes", ">BYTECOUNT:1024,2048\r\n>BYTECOUNT:5000000000,7\r\n", "", "bytes 1024 2048;bytes 5000000000 7", 0);
    row("bytes broken", ">BYTECOUNT:1024\r\n>BYTECOUNT:1024,\r\n>BYTECOUNT:abc,12\r\n>BYTECOUNT:-1,12\r\n", "", "", 0);
    row("split line", ">LOG:1,I,Initialization Seq|uence Completed\r|\n", "bytecount 1\n", "Connected", 0);
    row("no line end", done.chopped(2), "", "Connected", 0);
    row("empty lines", "\r\n\r\n>BYTECOUNT:1,2\r\n\n\n>BYTECOUNT:3,4\n", "", "bytes 1 2;bytes 3 4", 0);
    row("non-UTF-8",
        ">LOG:1,I,\xff\xfe\xc3(Initialization Sequence \x80"
        "Completed\r\n|>BYTECOUNT:\xff,1\r\n"
        ">STATE:1,ASSIGN_IP,,\xfe\xff,,,,\r\n",
        "", "", 1);
    row("NUL", QByteArray(">BYTECOUNT:1\0,2\r\n", 16), "", "", 0);
    // Four megabytes without a line end whose tail looks meaningful: none of it counts.
    row("enormous line", (QByteArray(256 * 1024, 'A') + '|').repeated(16) + done + ">BYTECOUNT:5,6\r\n", "",
        "bytes 5 6", -1);
}

void TestOpenVpnClient::dialogue()
{
    QFETCH(QByteArray, pieces);
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);
    QFETCH(int, warnings);
    connectClient();
    for (const QByteArray& piece : pieces.split('|')) {
        send(piece);
    }
    peer->waitForReadyRead(100);
    QCOMPARE(peer->readAll(), reply);
    // OpenVPN closing the socket ends a last line without line end.
    peer->disconnectFromHost();
    QTest::qWait(100);
    QCOMPARE(events.join(';'), expected);
    const int warned = log->count(QStringLiteral("warning\t"));
    QVERIFY2(warnings < 0 ? warned > 0 : warned == warnings, qPrintable(QString::number(warned))); // -1: some
    // Byte counts and the password never reach the log; a huge line does not either.
    QCOMPARE(log->count(QStringLiteral("BYTECOUNT")), 0);
    QCOMPARE(log->count(QStringLiteral("ss word")), 0);
    for (const QString& line : log->lines()) {
        QVERIFY(line.size() < 70 * 1024);
    }
}

void TestOpenVpnClient::verificationFailure()
{
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    connectClient();
    send(">LOG:1,D,MANAGEMENT: >STATE:1,AUTH,,,,,,\r\n");
    QCOMPARE(log->count(QStringLiteral("info\tOpenVpnClient: Auth passed")), 1);
    send(">PASSWORD:Verification Failed: 'Auth'\r\n");
    QCOMPARE(events, QStringList { "Error Error: Wrong Username/Password critical" });
    QCOMPARE(log->count(QStringLiteral("critical\tOpenVpnClient: Error: Wrong Username/Password")), 1);
    // OpenVPN exits with 0 after a rejection; auto-reconnect must not start it again.
    client->onOpenVpnProcessFinished(0);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
    QVERIFY(!events.contains(QStringLiteral("Connecting")));
}

void TestOpenVpnClient::refusedConnections()
{
    server.reset();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client->connectToManagementInterface());
    const QString warning = QStringLiteral("warning\tOpenVpnClient: Can't connect to management interface");
    QTRY_COMPARE_WITH_TIMEOUT(log->count(warning), 1, 45000);
    // Thirty attempts about a second apart, and no thirty-first: a port that opens now sees nothing.
    QVERIFY2(timer.elapsed() >= 28000, qPrintable(QString::number(timer.elapsed())));
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress(QStringLiteral("127.0.0.1")), OpenVpnClient::managementPort));
    QTest::qWait(2500);
    QVERIFY(!server->hasPendingConnections());
    QCOMPARE(log->count(warning), 1);
}

QTEST_GUILESS_MAIN(TestOpenVpnClient)
#include "tst_openvpnclient.moc"
