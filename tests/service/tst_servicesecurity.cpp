// Hostile input and unwanted peers against a real vpn-service: nothing runs, the service stays up.
#include "servicefixture.h"

#include <QDir>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <unistd.h>

class TestServiceSecurity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void hostileCommandRunsNothing_data();
    void hostileCommandRunsNothing();
    void handshakeWithOriginIsRefused();
    void listensOnLoopbackOnly();
    void peerThatIsNotTheClientIsRefused();

private:
    bool probeStillServes(const QString& tag);
    ServiceFixture* fixture = nullptr;
    QString outside;
};

void TestServiceSecurity::initTestCase()
{
    fixture = new ServiceFixture;
    QVERIFY(fixture->isValid());
    // Programs of the right names in a folder beside the application folder.
    outside = QDir::cleanPath(fixture->appDir() + "/../outside");
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(QFile::copy(fixture->path("dns"), outside + "/dns.exe"));
    QVERIFY(QFile::copy(fixture->path("killswitch"), outside + "/killswitch.exe"));
    QVERIFY(QFile::link(outside, fixture->appDir() + "/elsewhere"));
    QVERIFY(fixture->startService());
}

void TestServiceSecurity::cleanupTestCase()
{
    fixture->stopService();
    const QString report = fixture->sanitizerReport();
    QVERIFY2(report.isEmpty(), qPrintable(report));
    delete fixture;
}

void TestServiceSecurity::cleanup()
{
    if (QTest::currentTestFailed()) {
        qWarning().noquote() << "Service log:\n" << fixture->serviceLog().right(4000);
    }
    // Undo what a row did to the folder.
    const QString dns = fixture->path("dns");
    QFile::remove(dns);
    QFile::copy(fixture->path("killswitch"), dns);
    QFile::setPermissions(dns, QFile::permissions(fixture->path("killswitch")));
    QFile::remove(fixture->appDir() + "/marker");
    fixture->clearRecords();
}

static QByteArray withNul(const QString& before, const QString& after)
{
    return before.toUtf8() + QByteArray(1, '\0') + after.toUtf8();
}

void TestServiceSecurity::hostileCommandRunsNothing_data()
{
    QTest::addColumn<QByteArray>("payload"); // UTF-8 text of the message
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason"); // what the service logs when it refuses

    const QString app = QFileInfo(fixture->path("dns")).absolutePath();
    const QString ks = fixture->path("killswitch");
    const QString marker = app + "/marker";
    auto text = [](const QString& s) {
        return s.toUtf8();
    };

    QTest::newRow("unbalanced quote, program") << text("start: \"" + ks) << false << ""
                                               << "unbalanced quotes";
    QTest::newRow("unbalanced quote, argument") << text("start: \"" + ks + "\" \"disable") << false << ""
                                                << "unbalanced quotes";
    QTest::newRow("quote inside argument") << text("start: \"" + ks + "\" \"a\"b\"") << false << ""
                                           << "arguments not separated by one blank";
    QTest::newRow("no quotes") << text("start: " + ks) << false << ""
                               << "argument not in double quotes";
    QTest::newRow("two blanks") << text("start: \"" + ks + "\"  \"x\"") << false << ""
                                << "argument not in double quotes";
    QTest::newRow("trailing blank") << text("start: \"" + ks + "\" ") << false << ""
                                    << "arguments not separated by one blank";
    QTest::newRow("no blank after colon") << text("start:\"" + ks + "\"") << false << ""
                                          << "unknown command";
    QTest::newRow("empty start") << text("start: ") << false << ""
                                 << "no program";
    QTest::newRow("empty program") << text("start: \"\"") << false << ""
                                   << "empty program path";
    QTest::newRow("unknown verb") << text("run: \"" + ks + "\"") << false << ""
                                  << "unknown command";
    QTest::newRow("capital verb") << text("START: \"" + ks + "\"") << false << ""
                                  << "unknown command";
    QTest::newRow("init with line end") << text("init: connection\n") << false << ""
                                        << "control character";
    QTest::newRow("NUL in program") << withNul("start: \"" + ks, "\"") << false << ""
                                    << "control character";
    QTest::newRow("NUL in argument") << withNul("start: \"" + ks + "\" \"a", "b\"") << false << ""
                                     << "control character";
    QTest::newRow("line end in argument") << text("start: \"" + ks + "\" \"a\nb\"") << false << ""
                                          << "control character";
    QTest::newRow("enormous") << text("start: \"" + ks + "\" \"" + QString(300000, 'x') + "\"") << false << ""
                              << "close code 1009";
    QTest::newRow("long but under the frame limit")
        << text("start: \"" + ks + "\" \"" + QString(40000, 'x') + "\"") << false << ""
        << "command too long";
    QTest::newRow("binary frame") << text("start: \"" + ks + "\" \"binary\"") << true << ""
                                  << "Refused binary message";
    QTest::newRow("random bytes") << QByteArray::fromHex("00ff13a7c3280d0a22") << true << ""
                                  << "Refused binary message";
    QTest::newRow("not UTF-8") << QByteArray::fromHex("73746172743a2022c328ff22") << false << ""
                               << "not one of the programs";
    QTest::newRow("outside the folder") << text("start: \"/bin/touch\" \"" + marker + "\"") << false << ""
                                        << "not one of the programs";
    QTest::newRow("same name, other folder") << text("start: \"" + outside + "/dns.exe\"") << false << ""
                                             << "not one of the programs";
    QTest::newRow("relative path") << text("start: \"killswitch.exe\"") << false << ""
                                   << "not one of the programs";
    QTest::newRow("dot-dot inside") << text("start: \"" + app + "/openvpn/bin/../../killswitch.exe\"") << false << ""
                                    << "not one of the programs";
    QTest::newRow("dot-dot out and back")
        << text("start: \"" + app + "/../" + QFileInfo(app).fileName() + "/killswitch.exe\"") << false << ""
        << "not one of the programs";
    QTest::newRow("dot-dot to outside") << text("start: \"" + app + "/../outside/dns.exe\"") << false << ""
                                        << "not one of the programs";
    QTest::newRow("double slash") << text("start: \"" + app + "//killswitch.exe\"") << false << ""
                                  << "not one of the programs";
    QTest::newRow("backslashes") << text("start: \"" + QString(ks).replace('/', '\\') + "\"") << false << ""
                                 << "not one of the programs";
    QTest::newRow("symlinked folder leaves") << text("start: \"" + app + "/elsewhere/dns.exe\"") << false << ""
                                             << "not one of the programs";
    QTest::newRow("program is a symlink out") << text("start: \"" + fixture->path("dns") + "\"") << false << "symlink"
                                              << "leaves the application folder";
    QTest::newRow("program writable by others")
        << text("start: \"" + fixture->path("dns") + "\"") << false << "world-writable"
        << "can be changed by other users";
    QTest::newRow("program writable by a group")
        << text("start: \"" + fixture->path("dns") + "\"") << false << "group-writable"
        << "can be changed by other users";
    QTest::newRow("semicolon") << text("start: \"" + ks + "; touch " + marker + "\"") << false << ""
                               << "not one of the programs";
    QTest::newRow("pipe") << text("start: \"" + ks + "|touch " + marker + "\"") << false << ""
                          << "not one of the programs";
    QTest::newRow("ampersand") << text("start: \"" + ks + " && touch " + marker + "\"") << false << ""
                               << "not one of the programs";
    QTest::newRow("command substitution") << text("start: \"$(touch " + marker + ")\"") << false << ""
                                          << "not one of the programs";
    QTest::newRow("backticks") << text("start: \"`touch " + marker + "`\"") << false << ""
                               << "not one of the programs";
    QTest::newRow("glob") << text("start: \"" + app + "/*.exe\"") << false << ""
                          << "not one of the programs";
    QTest::newRow("stop with argument") << text("stop: <openvpn> now") << false << ""
                                        << "unknown command";
    QTest::newRow("kill other") << text("start: <kill killswitch>") << false << ""
                                << "argument not in double quotes";
}

void TestServiceSecurity::hostileCommandRunsNothing()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, binary);
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    const int logStart = fixture->serviceLog().size();
    const QString dns = fixture->path("dns");
    if (setup == "symlink") {
        QVERIFY(QFile::remove(dns));
        QVERIFY(QFile::link(outside + "/dns.exe", dns));
    } else if (setup == "world-writable") {
        QVERIFY(QFile::setPermissions(dns, QFile::permissions(dns) | QFileDevice::WriteOther));
    } else if (setup == "group-writable") {
        // A group other than the service's own: needs root, or membership in a second group.
        const gid_t other = ::getegid() == 0 ? 100 : ::getgid();
        if (other == ::getegid() || ::chown(QFile::encodeName(dns).constData(), static_cast<uid_t>(-1), other) != 0) {
            QSKIP("cannot give the program to another group here");
        }
        QVERIFY(QFile::setPermissions(dns, QFile::permissions(dns) | QFileDevice::WriteGroup));
    }

    QWebSocket socket;
    QSignalSpy connected(&socket, &QWebSocket::connected);
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl("ws://127.0.0.1:6447"));
    QTRY_COMPARE(connected.count(), 1);
    if (binary) {
        socket.sendBinaryMessage(payload);
    } else {
        // With its length: a NUL byte must reach the service, not end the text.
        socket.sendTextMessage(QString::fromUtf8(payload.constData(), payload.size()));
    }
    // The hostile message is out before the probe goes; anything it started would show by then.
    QTRY_COMPARE_WITH_TIMEOUT(socket.bytesToWrite(), 0, 5000);
    QTest::qWait(200);
    const QList<QList<QVariant>> answers = messages;
    socket.close(); // so that the probe's reports do not reach it
    QVERIFY(probeStillServes(QTest::currentDataTag()));
    QTest::qWait(200);

    QCOMPARE(fixture->records(), QStringList { "killswitch probe" });
    QVERIFY(!QFile::exists(fixture->appDir() + "/marker"));
    QVERIFY(fixture->serviceRunning());
    const QString log = fixture->serviceLog().mid(logStart);
    QVERIFY2(log.contains(reason), qPrintable(log));
    // A refusal is answered at most with a failed start under one of the program names.
    for (const auto& arguments : answers) {
        const QString message = arguments.at(0).toString();
        QVERIFY2(QRegularExpression("^started:0,[12],(openvpn|killswitch|dns)\n$").match(message).hasMatch(),
            qPrintable(message));
    }
}

// A fresh, well-formed command still runs, after the hostile one has been handled.
bool TestServiceSecurity::probeStillServes(const QString& tag)
{
    QWebSocket probe;
    QSignalSpy connected(&probe, &QWebSocket::connected);
    QSignalSpy messages(&probe, &QWebSocket::textMessageReceived);
    probe.open(QUrl("ws://127.0.0.1:6447"));
    if (!QTest::qWaitFor(
            [&] {
                return connected.count() == 1;
            },
            5000)) {
        qWarning() << tag << "probe could not connect";
        return false;
    }
    probe.sendTextMessage("start: \"" + fixture->path("killswitch") + "\" \"probe\"");
    const bool finished = QTest::qWaitFor(
        [&] {
            for (const auto& arguments : messages) {
                if (arguments.at(0).toString().startsWith("finished:")) {
                    return true;
                }
            }
            return false;
        },
        8000);
    if (!finished) {
        qWarning() << tag << "probe did not finish";
    }
    return finished;
}

void TestServiceSecurity::handshakeWithOriginIsRefused()
{
    QWebSocket page("http://example.com");
    QSignalSpy connected(&page, &QWebSocket::connected);
    QSignalSpy error(&page, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
    page.open(QUrl("ws://127.0.0.1:6447"));
    QTRY_VERIFY_WITH_TIMEOUT(error.count() > 0 || page.state() == QAbstractSocket::UnconnectedState, 5000);
    QTest::qWait(200);
    QCOMPARE(connected.count(), 0);
    QTRY_VERIFY(fixture->serviceLog().contains("Refused handshake with Origin http://example.com"));

    // The same process without an Origin is welcome.
    QVERIFY(probeStillServes("after origin"));
}

void TestServiceSecurity::listensOnLoopbackOnly()
{
    QList<QHostAddress> others { QHostAddress("127.0.0.2"), QHostAddress::LocalHostIPv6 };
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address != QHostAddress(QHostAddress::LocalHost) && address.scopeId().isEmpty()) {
            others.append(address);
        }
    }
    for (const QHostAddress& address : others) {
        QTcpSocket socket;
        socket.connectToHost(address, 6447);
        QVERIFY2(!socket.waitForConnected(2000), qPrintable(address.toString()));
    }
    QTcpSocket loopback;
    loopback.connectToHost(QHostAddress::LocalHost, 6447);
    QVERIFY(loopback.waitForConnected(2000));
}

void TestServiceSecurity::peerThatIsNotTheClientIsRefused()
{
    fixture->stopService();
    QVERIFY(fixture->startService(false)); // this test program is not an allowed client now

    QWebSocket intruder;
    QSignalSpy disconnected(&intruder, &QWebSocket::disconnected);
    QSignalSpy messages(&intruder, &QWebSocket::textMessageReceived);
    quint16 port = 0;
    connect(&intruder, &QWebSocket::connected, this, [&] {
        port = intruder.localPort();
        intruder.sendTextMessage("start: \"" + fixture->path("killswitch") + "\" \"intruder\"");
        intruder.sendTextMessage("init: connection");
    });
    intruder.open(QUrl("ws://127.0.0.1:6447"));
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 5000);
    QTRY_VERIFY(fixture->serviceLog().contains("Refused connection from 127.0.0.1:" + QString::number(port)));
    QVERIFY(fixture->serviceLog().contains(QCoreApplication::applicationFilePath() + " is not an allowed client"));
    QTest::qWait(1000);
    QCOMPARE(fixture->records(), QStringList());
    QCOMPARE(messages.count(), 0);
    QVERIFY(fixture->serviceRunning());
}

QTEST_GUILESS_MAIN(TestServiceSecurity)
#include "tst_servicesecurity.moc"
