// OpenVpnClient: its configuration file; its management dialogue against a scripted management
// server on loopback (OpenVPN's side of the socket); its process lifecycle through a real
// vpn-service running an OpenVPN stand-in that follows a script (fake_openvpn.py).
#include "clientkit.h"
#include "deploymentconfig.h"

#include <QTcpServer>
#include <QTimer>

#include <unistd.h>

class TestOpenVpnClient : public QObject
{
    Q_OBJECT

    ServiceFixture service;
    ServiceController* controller = nullptr;
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
    static QStringList lines(const char* name)
    {
        return readFile(QString::fromLatin1(name)).split('\n', Qt::SkipEmptyParts);
    }
    // The client's commands to the service since init(): "start", "kill" or the command itself.
    static QStringList commands()
    {
        QStringList sent = testlog::lines().filter("ServiceController: Send data: [");
        sent.replaceInStrings(QRegularExpression(".*\\[start: \"[^\"]*/openvpn\" \"--config\" .*"), "start");
        return sent.replaceInStrings(QRegularExpression(".*\\[start: <kill openvpn>\\]"), "kill");
    }

private slots:
    void initTestCase()
    {
        service.start(QStringLiteral(VPN_TEST_DATA_DIR "/../openvpn/fake_openvpn.py"), this, &controller);
        QDir::setCurrent(ServiceFixture::openVpnFolder()); // where the stand-in keeps its files
    }
    void init()
    {
        testlog::clear();
        QFile::remove("args.log");
        client = std::make_unique<TestClient>();
        client->setServer("198.51.100.1", true);
        client->setCredentials("us er\"\\", "p\"a\\ss word");
        events.clear();
        recordSignals(client.get(), &events);
    }
    void cleanup()
    {
        client.reset();
        server.reset();
        // Whatever a case left running ends, and its exit is reported, before the next case.
        controller->sendCommand("start: <kill openvpn>");
        const QRegularExpression report("Received data: \\[(started|finished):.*,openvpn\\]");
        const QRegularExpression ran("\\[started:\\d+,0,");
        QTRY_VERIFY(testlog::lines().filter(report).join(' ').count("[finished:")
            >= testlog::lines().filter(report).join(' ').count(ran));
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
            OpenVpnClient owner;
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
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("sent");
        const auto row
            = [](const char* name, const char* script, const char* action, const char* expected, const char* sent) {
                  QTest::newRow(name) << QByteArray(script) << QString(action) << QString(expected) << QString(sent);
              };
        // Starts that fail before OpenVPN runs, and a stop with nothing running: nothing reaches the service.
        row("no server", "exit 9", "start without server", "Disconnected;Error OpenVPN server is empty!", "");
        row("program missing", "exit 9", "start without program",
            "Disconnected;Error OpenVPN executable '%1' does not exists", "");
        row("line break", "exit 9", "start with line break",
            "Disconnected;Error Error: Username or password contains a line break critical", "");
        row("stop when not running", "exit 9", "stop", "Disconnected", "");
        // Any end without a stop is a loss, even with 0; the exit handler's stop finds no management
        // socket and asks for a kill; nothing restarts here (the controller decides).
        row("exit 0", "exit 0\nserve", "start", "Disconnected;Connecting;Disconnected CrashExit;exit 0", "start kill");
        // The service refuses a program others may change: an error to leave, not an endless Connecting.
        row("refused", "serve", "refuse", "Disconnected;Connecting;Error OpenVPN could not be started (code 1)",
            "start");
        // A server that never answers: after the deadline, SIGTERM and an error; its exit is no news.
        // (Over the management interface or by a kill, as far as it got by then: code and commands vary.)
        row("time-out", "stall", "time out",
            "Disconnected;Connecting;Error The VPN server did not answer in time;exit N", "start");
        // SIGTERM to the running OpenVPN, whose exit (5, on "signal SIGTERM", matched by its PID) neither marks
        // a crash nor ends the new run; a stop ends that one.
        row("start while running", "serve 5\nserve", "restart",
            "Disconnected;Connecting;ip 10.8.0.2;Connected;Disconnected;Connecting;ip 10.8.0.2;Connected;"
            "Disconnected;exit 0",
            "start start");
        // Stopped again before the service reported the new run: the stop goes to the service (not to
        // the ended run's socket), and the new run, whenever it begins, is ended and never comes up.
        row("start while running, stop at once", "serve 5\nserve", "restart and stop",
            "Disconnected;Connecting;ip 10.8.0.2;Connected;Disconnected;Connecting;Disconnected;exit 9",
            "start start kill");
        row("destruction while starting", "serve", "destroy", "Disconnected;Connecting", "start");
    }
    void lifecycle()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, action);
        QFETCH(QString, expected);
        QFETCH(QString, sent);
        const QString program = OpenVpnClient::openVpnExecutablePath();
        const bool hide = action.endsWith("program");
        expected = hide ? expected.arg(program) : expected;
        QFile out("script");
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(script + '\n') > 0 && out.flush());
        client->setServer(action.endsWith("server") ? QString() : "198.51.100.1", true);
        client->setConnectTimeout(action == "time out" ? 5000 : 60000);
        const QFileDevice::Permissions permissions = QFile::permissions(program);
        QVERIFY(action != "refuse" || QFile::setPermissions(program, permissions | QFile::WriteOther));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(program, permissions);
        });
        if (action.endsWith("line break")) {
            client->setCredentials("demo\nsignal SIGTERM", "x");
        }
        // An empty folder over the program's, in this test's mount namespace (see servicekit).
        const QByteArray folder = QFile::encodeName(QFileInfo(program).absolutePath());
        QVERIFY(!hide || ::mount("tmpfs", folder.constData(), "tmpfs", 0, nullptr) == 0);
        const bool started = action == "stop" ? !client->stop() : client->start();
        QVERIFY(!hide || ::umount2(folder.constData(), MNT_DETACH) == 0);
        if (action == "refuse") {
            QTRY_VERIFY(!events.filter("Error").isEmpty());
        }
        QCOMPARE(started, !sent.isEmpty());
        if (action == "destroy") {
            client.reset();
        }
        if (action == "restart") {
            QTRY_VERIFY_WITH_TIMEOUT(events.contains("Connected"), 10000);
            QVERIFY(client->start());
            const QStringList logged = testlog::lines();
            const int term = logged.indexOf(QRegularExpression(".*Send TERM signal, status: true"));
            QVERIFY(term >= 0 && logged.lastIndexOf(QRegularExpression(".*Send data: \\[start: .*")) > term);
            QTRY_COMPARE_WITH_TIMEOUT(events.count("Connected"), 2, 10000);
            QCOMPARE(testlog::count("Replaced process finished with code: 5"), 1);
            // Two starts, one configuration file: the second one's.
            const QStringList configs
                = lines("args.log").replaceInStrings(QRegularExpression("^.*--config\t([^\t]*).*"), "\\1");
            QVERIFY(configs.size() == 2 && configs.at(0) != configs.at(1) && !QFile::exists(configs.at(0))
                && QFile::exists(configs.at(1)));
            QVERIFY(client->stop());
        }
        if (action == "restart and stop") {
            QTRY_VERIFY_WITH_TIMEOUT(events.contains("Connected"), 10000);
            QVERIFY(client->start() && client->stop());
        }
        const auto seen = [this, &action] {
            const QRegularExpression code(action == "time out" ? "^exit \\d+$" : "^$");
            return QStringList(events).replaceInStrings(code, "exit N").join(';');
        };
        QTRY_COMPARE_WITH_TIMEOUT(seen(), expected, 10000);
        QTest::qWait(1500);
        QCOMPARE(seen(), expected);
        // However the kill and the new run's start cross in the service, one kill or two end it.
        QCOMPARE(commands().join(' ').remove(action == "time out" ? " kill" : "\n").replace("kill kill", "kill"), sent);
        // A client destroyed at once takes its configuration along: the service may refuse that run.
        const int runs = lines("args.log").size();
        // A run destroyed or stopped at once may be ended before it wrote its arguments.
        QVERIFY(action == "destroy" || action == "restart and stop"
                ? runs <= sent.count("start")
                : runs == (action == "refuse" ? 0 : sent.count("start")));
    }
};

int main(int argc, char** argv)
{
    return servicekit::isolatedTestMain<TestOpenVpnClient>(argc, argv);
}
#include "tst_openvpnclient.moc"
