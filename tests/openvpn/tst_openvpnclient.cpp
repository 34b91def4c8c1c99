// OpenVpnClient: its configuration file; its management dialogue against a scripted management
// server on loopback (OpenVPN's side of the socket); its runs through the in-process fake of the
// service, which also plays OpenVPN's management interface.
#include "../support/fakeservice.h"
#include "../support/logcapture.h"
#include "../support/servicekit.h"
#include "clientkit.h"
#include "deploymentconfig.h"
#include "foundation/logger.h"

#include <QTcpServer>
#include <QTimer>

#include <unistd.h>

class TestOpenVpnClient : public QObject
{
    Q_OBJECT

    TemporaryProfile profile; // the client's log and files
    std::unique_ptr<FakeService> service;
    std::unique_ptr<QTcpServer> server;
    QTcpSocket* peer = nullptr; // the server's child
    std::unique_ptr<TestClient> client;
    QStringList events;

    void connectClient()
    {
        server = std::make_unique<QTcpServer>();
        QVERIFY(server->listen(QHostAddress("127.0.0.1"), OpenVpnClient::managementPort));
        client->onOpenVpnProcessStarted();
        QVERIFY(server->waitForNewConnection(5000));
        peer = server->nextPendingConnection();
    }
    // Sends bytes as OpenVPN would and lets the client read them.
    void send(const QByteArray& data)
    {
        peer->write(data);
        QVERIFY(peer->waitForBytesWritten(2000));
        QTest::qWait(50);
    }
    // The configuration file of each start of OpenVPN.
    QStringList configs() const
    {
        QStringList files;
        for (const QString& command : service->sent) {
            if (command.contains("\" \"--config\" \"")) {
                files << command.section("\" \"", 2, 2);
            }
        }
        return files;
    }

private slots:
    void initTestCase()
    {
        Logger::instance();
        testlog::capture(); // after the logger's own handler
    }
    void init()
    {
        testlog::clear();
        service = std::make_unique<FakeService>();
        client = std::make_unique<TestClient>(service.get());
        client->setServer("198.51.100.1", true);
        client->setCredentials("us er\"\\", "p\"a\\ss word");
        events.clear();
        recordSignals(client.get(), &events);
    }
    void cleanup()
    {
        client.reset();
        server.reset();
        service.reset();
    }

    void configFile_data()
    {
        QTest::addColumn<bool>("udp");
        QTest::addColumn<int>("mtu");
        QTest::addColumn<QString>("present"); // lines the file holds, "|" between
        QTest::addColumn<QString>("absent"); // directives it does not
        // The server's port by protocol; Windows' resolvers follow the tunnel; the user's MTU only when set.
        QTest::newRow("UDP") << true << 0
                             << "remote 10.0.0.1 88 udp|register-dns|dhcp-renew|block-outside-dns|"
                                "mute-replay-warnings|replay-window 256"
                             << "tun-mtu";
        QTest::newRow("TCP, MTU") << false << 1400
                                  << "remote 10.0.0.1 8080 tcp|register-dns|dhcp-renew|block-outside-dns|tun-mtu 1400"
                                  << "replay-window|mute-replay-warnings";
    }

    // What the service's checks and the server need is covered by the runs below and the end-to-end
    // test; here: the run's own values, and the management password file.
    void configFile()
    {
        QFETCH(bool, udp);
        QFETCH(int, mtu);
        QFETCH(QString, present);
        QFETCH(QString, absent);
        QString path;
        QByteArray bytes;
        QStringList secrets;
        QString secretPath;
        {
            OpenVpnClient owner(service.get());
            owner.setServer("10.0.0.1", udp);
            owner.setMtu(mtu);
            for (int run = 0; run < 2; ++run) {
                path = owner.createConfigFile();
                bytes = readBytes(path);
                QVERIFY(QFileInfo(path).isAbsolute() && !bytes.isEmpty());
                // The management password: a fresh secret per run, in a file of this user alone.
                secretPath = QString::fromLatin1(bytes).section("\r\n", 2, 2).section(' ', 3);
                QVERIFY2(QFileInfo(secretPath).isAbsolute(), qPrintable(secretPath));
                QCOMPARE(QFile::permissions(secretPath) & 0x0fff, QFileDevice::ReadUser | QFileDevice::WriteUser);
                secrets << readFile(secretPath);
                QVERIFY2(QRegularExpression("^[0-9a-f]{64}\n$").match(secrets.last()).hasMatch(),
                    qPrintable(secrets.last()));
            }
        }
        QVERIFY2(!QFileInfo::exists(path) && !QFileInfo::exists(secretPath), "the files go with their client");
        QVERIFY(secrets.at(0) != secrets.at(1));
        // CR LF lines, no byte order mark, no placeholder left; the deployment's keys in their blocks.
        QVERIFY(bytes.startsWith("client\r\n") && bytes.count('\n') == bytes.count("\r\n"));
        const QStringList lines = QString::fromLatin1(bytes).split("\r\n");
        QCOMPARE(lines.filter(QRegularExpression("<[A-Z_]+>")), QStringList());
        QCOMPARE(lines.at(2), QStringLiteral("management 127.0.0.1 61973 ") + secretPath);
        for (const QString& line : present.split('|')) {
            QVERIFY2(lines.contains(line), qPrintable(line));
        }
        for (const QString& directive : absent.split('|')) {
            QVERIFY2(lines.filter(QRegularExpression('^' + directive)).isEmpty(), qPrintable(directive));
        }
        const QString text = lines.join('\n');
        for (const char* key : { Deployment::openVpnTlsCryptKey, Deployment::openVpnCaPem }) {
            const QString pem = QString::fromLatin1(key).trimmed();
            const QString body = pem.mid(pem.indexOf("-----BEGIN"));
            const QString block = key == Deployment::openVpnCaPem ? "ca" : "tls-crypt";
            QVERIFY2(text.section('<' + block + '>', 1).section("</" + block + '>', 0, 0).contains(body), key);
        }
    }

    void dialogue_data()
    {
        QTest::addColumn<QByteArray>("pieces"); // what OpenVPN sends, "|" between separate writes
        QTest::addColumn<QByteArray>("reply"); // what the client writes back
        QTest::addColumn<QString>("expected"); // the client's signals, in order
        const auto row = [](const char* name, const QByteArray& pieces, const char* reply, const char* expected) {
            QTest::newRow(name) << pieces << QByteArray(reply) << QString(expected);
        };
        const QByteArray hello(">INFO:OpenVPN Management Interface Version ");
        row("greeting 2.6", hello + "5 -- type 'help' for more info\r\n", "state on\nlog on\n", "");
        row("greeting 1", hello + "1\r\n", "state on\nlog on\n", "");
        row("not a greeting", hello + "x\r\n>INFO:something else\r\n", "", "");
        // OpenVPN's question for the management password has no line end; it comes again after a wrong one.
        row("management password", "ENTER |PASSWORD:|SUCCESS: password is correct\r\n" + hello + "5\r\n",
            "%S\nstate on\nlog on\n", "");
        row("management password refused", "ENTER PASSWORD:|ENTER PASSWORD:", "%S\n", "");
        row("prompt", ">PASSWORD:Need 'Auth' username/password\r\n",
            "username 'Auth' \"us er\\\"\\\\\"\npassword 'Auth' \"p\\\"a\\\\ss word\"\n", "");
        // (OpenVPN's exit with 0 that follows is no loss: tst_openvpne2e's wrongPassword.)
        row("credentials rejected", ">PASSWORD:Verification Failed: 'Auth'\r\n", "",
            "Error Error: Wrong Username/Password critical");

        const QByteArray push(">LOG:1700000000,,PUSH: Received control message: 'PUSH_REPLY,redirect-gateway def1,"
                              "dhcp-option DNS 10.8.0.1");
        const QByteArray end(",route-gateway 10.8.0.1,topology subnet,ping 10,ifconfig 10.8.0.2 255.255.255.0'\r\n");
        row("push both", push + ",dhcp-option DNS fd00:8::1" + end, "", "dns 10.8.0.1 fd00:8::1");
        row("push later wins", push + ",dhcp-option DNS fd00:8::1,dhcp-option DNS 10.8.0.53" + end, "",
            "dns 10.8.0.53 fd00:8::1");
        // One family alone is that family's; an IPv6 address comes in its canonical form.
        row("push one family", push + end + QByteArray(push).replace("10.8.0.1", "FD00:8:0::1") + end, "",
            "dns 10.8.0.1 ;dns  fd00:8::1");
        // Neither the "DNS6" spelling nor what only a lenient parser takes is an address (the other
        // spellings refused: tst_host's canonicalAddress).
        row("push no address",
            QByteArray(push).replace("DNS 10.8.0.1", "DNS6 fd00:8::1") + end
                + QByteArray(push).replace("10.8.0.1", "10.8.1") + end
                + QByteArray(push).replace("10.8.0.1", "fe80::1%eth0") + end,
            "", "");
        row("two ASSIGN_IP", ">STATE:1,ASSIGN_IP,,10.8.0.2,,,,,fd00::1000\r\n>STATE:2,ASSIGN_IP,,10.8.0.3,,,,,\r\n", "",
            "ip 10.8.0.2");
        row("MANAGEMENT echo", ">LOG:1,D,MANAGEMENT: >STATE:1,ASSIGN_IP,,10.8.0.9,,,,,\r\n", "", "");
        row("ASSIGN_IP bare", ">STATE:1,ASSIGN_IP\r\n>STATE:1,ASSIGN_IP,,10.8.0.2,,,,,\r\n", "", "ip 10.8.0.2");
        row("ASSIGN_IP broken", ">STATE:1,ASSIGN_IP,,,,,,,fd00::1\r\n>STATE:1,ASSIGN_IP,,10.8.0.x,,,,\r\n", "", "");
        row("ASSIGN_IP to line end", ">STATE:1,ASSIGN_IP,,10.8.0.7\r\n", "", "ip 10.8.0.7");

        const QByteArray done(">LOG:1,I,Initialization Sequence Completed\r\n");
        row("completed twice", done + "|>STATE:1,CONNECTED,SUCCESS,10.8.0.2,198.51.100.1,88,,\r\n" + done,
            "bytecount 1\nbytecount 1\n", "Connected;Connected");
        row("bytes", ">BYTECOUNT:1024,2048\r\n>BYTECOUNT:5000000000,7\r\n", "", "bytes 1024 2048;bytes 5000000000 7");
        row("bytes broken", ">BYTECOUNT:1024\r\n>BYTECOUNT:1024,\r\n>BYTECOUNT:abc,12\r\n>BYTECOUNT:-1,12\r\n", "", "");
        row("split line", ">LOG:1,I,Initialization Seq|uence Completed\r|\n", "bytecount 1\n", "Connected");
        row("no line end", done.chopped(2), "", "Connected");
        row("empty lines", "\r\n\r\n>BYTECOUNT:1,2\r\n\n\n>BYTECOUNT:3,4\n", "", "bytes 1 2;bytes 3 4");
        row("binary",
            ">LOG:1,I,\xff\xfe\xc3(Initialization Sequence \x80"
            "Completed\r\n|>STATE:1,ASSIGN_IP,,\xfe\xff,,,,\r\n"
                + QByteArray(">BYTECOUNT:1\0,2\r\n>BYTECOUNT:\xff,1\r\n", 33),
            "", "");
        // Four megabytes without a line end whose tail looks meaningful: none of it counts.
        row("enormous line", (QByteArray(256 * 1024, 'A') + '|').repeated(16) + done + ">BYTECOUNT:5,6\r\n", "",
            "bytes 5 6");
    }

    void dialogue()
    {
        QFETCH(QByteArray, pieces);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        QFile secret(QString::fromLatin1(readBytes(client->createConfigFile())).section("\r\n", 2, 2).section(' ', 3));
        QVERIFY(secret.open(QIODevice::ReadOnly));
        reply.replace("%S", secret.readAll().trimmed());
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
        // Byte counts and the password never reach the log; a huge line does not either.
        QCOMPARE(testlog::count("BYTECOUNT"), 0);
        QCOMPARE(testlog::count("ss word"), 0);
        QCOMPARE(testlog::lines().filter(QRegularExpression("[0-9a-f]{64}")), QStringList());
        QVERIFY(testlog::lines().join('\n').size() < 70 * 1024);
    }

    // Another user who took the port before OpenVPN hears neither the secret nor the credentials.
    void squatterOnManagementPort()
    {
        if (::geteuid() != 0) {
            QSKIP("needs root to listen as another user");
        }
        const char* const squatter = "import socket, time\n"
                                     "s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                                     "s.bind(('127.0.0.1', 61973)); s.listen(); s.settimeout(0.2)\n"
                                     "print('ready', flush=True); got = b''; n = 0; end = time.time() + 2\n"
                                     "while time.time() < end:\n"
                                     "    try: c, _ = s.accept()\n"
                                     "    except socket.timeout: continue\n"
                                     "    n += 1; c.settimeout(0.5)\n"
                                     "    c.sendall(b'ENTER PASSWORD:')\n"
                                     "    try:\n"
                                     "        while (d := c.recv(4096)): got += d\n"
                                     "    except OSError: pass\n"
                                     "print(n, got, flush=True)\n";
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(
            "setpriv", { "--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c", squatter });
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine() || process.state() == QProcess::NotRunning, 5000);
        QCOMPARE(process.readLine(), QByteArray("ready\n"));
        client->onOpenVpnProcessStarted();
        // The client reads while the squatter talks.
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 10000);
        const QByteArray heard = process.readAll();
        QVERIFY2(QRegularExpression("^[1-9]\\d* b''\n$").match(heard).hasMatch(), heard.constData());
        QCOMPARE(events, QStringList());
    }

    // Thirty attempts at a refused port and no thirty-first; the retry timer is fired at once instead of
    // waited for. OpenVPN opens its port milliseconds after it starts: several attempts fall in the
    // first second, none sooner than the one before, and the thirty still span about 29 s.
    void refusedConnections()
    {
        client->onOpenVpnProcessStarted();
        const auto retrying = [this] {
            QList<QTimer*> active;
            for (QTimer* timer : client->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
                if (timer->isActive()) {
                    active << timer;
                }
            }
            return active;
        };
        QList<int> delays { 0 };
        int elapsed = 0;
        int inFirstSecond = 1;
        for (int failed = 1; failed < 30; ++failed) {
            const QList<QTimer*> timers = retrying();
            QVERIFY2(timers.size() == 1 && timers.first()->isSingleShot(), qPrintable(QString::number(failed)));
            delays << timers.first()->interval();
            QVERIFY2(delays.last() >= delays.at(failed - 1) && delays.last() > 0, qPrintable(QString::number(failed)));
            elapsed += delays.last();
            inFirstSecond += elapsed < 1000 ? 1 : 0;
            timers.first()->stop();
            QVERIFY(QMetaObject::invokeMethod(timers.first(), "timeout", Qt::DirectConnection));
        }
        QCOMPARE(retrying(), QList<QTimer*>());
        QVERIFY2(delays.at(1) <= 50 && inFirstSecond >= 5 && elapsed >= 28000 && elapsed <= 30000,
            qPrintable(QString("%1 %2 %3").arg(delays.at(1)).arg(inFirstSecond).arg(elapsed)));
    }

    void lifecycle_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("sent");
        const auto row = [](const char* name, const char* action, const char* expected, const char* sent) {
            QTest::newRow(name) << QString(action) << QString(expected) << QString(sent);
        };
        // Starts that fail before OpenVPN runs, and a stop with nothing running: nothing reaches the service.
        row("no server", "start without server", "Disconnected;Error OpenVPN server is empty!", "");
        row("program missing", "start without program", "Disconnected;Error OpenVPN executable '%1' does not exists",
            "");
        row("line break", "start with line break",
            "Disconnected;Error Error: Username or password contains a line break critical", "");
        row("stop when not running", "stop", "Disconnected", "");
        // Any end without a stop is a loss, even with 0; the exit handler's stop finds no greeting on the
        // management socket and asks for a kill; nothing restarts here (the controller decides).
        row("exit 0", "exit 0", "Disconnected;Connecting;Disconnected CrashExit;exit 0", "openvpn kill");
        // The service refuses a program others may change: an error to leave, not an endless Connecting.
        row("refused", "refuse", "Disconnected;Connecting;Error OpenVPN could not be started (code 1)", "openvpn");
        // A server that never answers: after the deadline a kill and an error; its exit is no news.
        row("time-out", "time out", "Disconnected;Connecting;Error The VPN server did not answer in time;exit 9",
            "openvpn kill");
        // SIGTERM to the running OpenVPN, whose exit (matched by its PID) neither marks a crash nor ends
        // the new run; a stop ends that one.
        row("start while running", "restart",
            "Disconnected;Connecting;ip 10.8.0.2;Connected;Disconnected;Connecting;ip 10.8.0.2;Connected;"
            "Disconnected;exit 5",
            "openvpn openvpn");
        // Stopped again before the service reported the new run: the stop goes to the service (not to
        // the ended run's socket), and the new run, whenever it begins, is ended and never comes up.
        row("start while running, stop at once", "restart and stop",
            "Disconnected;Connecting;ip 10.8.0.2;Connected;Disconnected;Connecting;Disconnected;exit 9",
            "openvpn openvpn kill");
        row("destruction while starting", "destroy", "Disconnected;Connecting", "openvpn");
    }
    void lifecycle()
    {
        QFETCH(QString, action);
        QFETCH(QString, expected);
        QFETCH(QString, sent);
        const QString program = OpenVpnClient::openVpnExecutablePath();
        const bool hide = action.endsWith("program");
        if (hide ? !servicekit::mountsIsolated : !QFile::exists(program)) {
            QSKIP("needs OpenVPN in its place, and root for a mount namespace to hide it");
        }
        expected = hide ? expected.arg(program) : expected;
        service->openVpn();
        service->runs = { action.startsWith("restart") ? FakeService::tunnel("route-gateway 10.8.0.1") : "" };
        service->refuseCode = action == "refuse" ? 1 : 0;
        service->termExitCode = 5;
        client->setServer(action.endsWith("server") ? QString() : "198.51.100.1", true);
        client->setConnectTimeout(action == "time out" ? 300 : 60000);
        if (action.endsWith("line break")) {
            client->setCredentials("demo\nsignal SIGTERM", "x");
        }
        // An empty folder over the program's, in this test's mount namespace.
        const QByteArray folder = QFile::encodeName(QFileInfo(program).absolutePath());
        QVERIFY(!hide || ::mount("tmpfs", folder.constData(), "tmpfs", 0, nullptr) == 0);
        const bool started = action == "stop" ? !client->stop() : client->start();
        QVERIFY(!hide || ::umount2(folder.constData(), MNT_DETACH) == 0);
        QCOMPARE(started, !sent.isEmpty());
        if (action == "exit 0") {
            QTRY_VERIFY(service->talking());
            service->endOpenVpn(0);
        }
        if (action == "destroy") {
            // A client destroyed at once takes its configuration along.
            const QString config = configs().value(0);
            client.reset();
            QVERIFY(!config.isEmpty() && !QFile::exists(config));
        }
        if (action.startsWith("restart")) {
            QTRY_VERIFY(events.contains("Connected"));
            QVERIFY(client->start());
        }
        if (action == "restart") {
            QTRY_COMPARE(events.count("Connected"), 2);
            // Two starts, one configuration file: the second one's; the first run was told to end.
            const QStringList files = configs();
            QVERIFY(files.size() == 2 && !QFile::exists(files.at(0)) && QFile::exists(files.at(1)));
            QCOMPARE(service->heard.count("signal SIGTERM"), 1);
        }
        if (action.startsWith("restart")) {
            QVERIFY(client->stop());
        }
        QTRY_COMPARE(events.join(';'), expected);
        QTRY_VERIFY(service->settled()); // nothing more on its way
        QCOMPARE(events.join(';'), expected);
        // However the kill and the new run's start cross, one kill or two end it.
        QCOMPARE(service->transcript()
                     .replaceInStrings(ServiceProtocol::killOpenVpn, "kill")
                     .join(' ')
                     .replace("kill kill", "kill"),
            sent);
    }
};

int main(int argc, char** argv)
{
    return servicekit::isolatedTestMain<TestOpenVpnClient>(argc, argv);
}
#include "tst_openvpnclient.moc"
