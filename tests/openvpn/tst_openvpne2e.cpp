// OpenVpnClient against the development host's real OpenVPN servers, with the real vpn-service
// running the system's OpenVPN, inside the client namespace run-in-devhost-net.sh sets up.
#include "../support/servicefixture.h"
#include "clientkit.h"
#include "foundation/logger.h"
#include "openvpn/managementlink.h"

#include <QUdpSocket>

#include <csignal>
#include <cstdio>

class TestOpenVpnE2e : public QObject
{
    Q_OBJECT

    ServiceFixture service;
    ServiceController* controller = nullptr;
    std::unique_ptr<TestClient> client;
    QStringList events;

private slots:
    void initTestCase()
    {
        service.start(this, &controller);
    }
    void init()
    {
        testlog::clear();
        client = std::make_unique<TestClient>(controller);
        client->setCredentials(qEnvironmentVariable("VPNC_DEMO_USER", QStringLiteral("demo")),
            qEnvironmentVariable("VPNC_DEMO_PASSWORD", QStringLiteral("demo-password")));
        events.clear();
        recordSignals(client.get(), &events);
    }
    void cleanup()
    {
        // The client's own log file goes with the test's folder: show it on failure.
        for (const QString& line : QTest::currentTestFailed() ? testlog::lines() : QStringList()) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
        }
        // An OpenVPN still running after a failed case must not meet the next one.
        client->stop();
        QTRY_VERIFY_WITH_TIMEOUT(events.filter(QStringLiteral("exit ")).size() > 0, 5000);
        client.reset();
    }

    // The management interface answers only the client that started OpenVPN: its secret lives in a
    // file of its user alone and in the service's private copy, never in a log or on a command line.
    // First: a run killed from outside (below) leaves its routes for the next client to clean up.
    void managementPassword()
    {
        client->setServer(QStringLiteral("198.51.100.1"), true);
        QVERIFY(client->start());
        QTRY_VERIFY_WITH_TIMEOUT(events.contains(QStringLiteral("Connected")), 30000);
        const QString config = testlog::lines()
                                   .filter(QStringLiteral("Start OpenVPN with args: "))
                                   .value(0)
                                   .section(QStringLiteral(", "), 2, 2);
        // (The file's own form is tst_openvpnclient's.)
        const QByteArray secret = readBytes(readFile(config).section("\r\n", 2, 2).section(' ', 3)).trimmed();
        QCOMPARE(secret.size(), 64);
        const QString vpnLog = Logger::instance()->vpnLogFilePath();
        QStringList places { service.logFilePath(), vpnLog, QString(vpnLog).replace("-vpn", "-app") };
        for (const QFileInfo& process : QDir(QStringLiteral("/proc")).entryInfoList({ QStringLiteral("[0-9]*") })) {
            places << process.filePath() + QStringLiteral("/cmdline");
        }
        for (const QString& place : places) {
            QVERIFY2(!readBytes(place).contains(secret), qPrintable(place));
        }
        QVERIFY(!testlog::lines().join('\n').contains(QString::fromLatin1(secret)));

        // A stranger while the client is away: refused, and the tunnel stays; the client comes back.
        client->findChild<ManagementLink*>()->abort();
        const QStringList named = testlog::lines().filter("Received data: [management:");
        const QString socket = named.value(named.size() - 1).section("management:", 1).chopped(1);
        QCOMPARE(
            strangerOnManagementInterface(socket), QByteArray("ENTER PASSWORD:ENTER PASSWORD:ENTER PASSWORD:|closed"));
        QVERIFY(client->connectToManagementInterface());
        QTRY_VERIFY_WITH_TIMEOUT(testlog::count(QStringLiteral("SUCCESS: password is correct")) == 2, 5000);
        QCOMPARE(events.filter(QStringLiteral("exit")), QStringList());
        events.clear();
        QVERIFY(client->stop());
        QTRY_COMPARE_WITH_TIMEOUT(events.join(';'), QStringLiteral("Disconnected;exit 0"), 15000);
    }

    void connects_data()
    {
        // clang-format off
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("dns");
        QTest::addColumn<QString>("ending");
        QTest::newRow("UDP, stop") << true << "10.8.0.1 fd00:8::1" << "Disconnected;exit 0";
        QTest::newRow("TCP, killed from outside") << false << "10.8.1.1 fd00:8:1::1" << "Disconnected CrashExit;exit 9";
        // clang-format on
    }
    void connects()
    {
        QFETCH(bool, udp);
        QFETCH(QString, dns);
        QFETCH(QString, ending);
        client->setServer(QStringLiteral("198.51.100.1"), udp);
        QVERIFY(client->start());
        QTRY_VERIFY_WITH_TIMEOUT(events.contains(QStringLiteral("Connected")), 30000);
        const QString address = events.filter(QRegularExpression(QStringLiteral("^ip "))).value(0).mid(3);
        QCOMPARE(events.join(';'), QStringLiteral("Disconnected;Connecting;dns %1;ip %2;Connected").arg(dns, address));
        QVERIFY2(address.startsWith(dns.section('.', 0, 2)), qPrintable(address)); // from the server's pool
        // OpenVPN's own log reaches the client's file through the descriptor the service opened.
        QVERIFY(readBytes(Logger::instance()->vpnLogFilePath()).contains("Initialization Sequence Completed"));

        // Counters grow while traffic crosses the tunnel: datagrams, and knocks on a closed port
        // whose refusals come back. OpenVPN 2.6 sends the first count about ten seconds after the
        // tunnel came up (with its first coarse timer), then every second.
        const QString target = dns.section(' ', 0, 0);
        const auto traffic = [&target] {
            QUdpSocket udp;
            for (int i = 0; i < 50; ++i) {
                udp.writeDatagram(QByteArray(1000, 'x'), QHostAddress(target), 9);
            }
            for (int i = 0; i < 5; ++i) {
                QTcpSocket tcp;
                tcp.connectToHost(target, 9);
                tcp.waitForConnected(1000);
            }
        };
        const auto count = [this](int field) {
            const QStringList all = events.filter(QStringLiteral("bytes "));
            return all.isEmpty() ? 0 : all.last().section(' ', field, field).toULongLong();
        };
        traffic();
        QTRY_VERIFY_WITH_TIMEOUT(count(1) > 0 && count(2) > 0, 25000);
        const quint64 received = count(1), sent = count(2);
        traffic();
        QTRY_VERIFY_WITH_TIMEOUT(count(1) > received && count(2) > sent + 50 * 1000, 10000);

        events.clear();
        if (ending.contains(QStringLiteral("CrashExit"))) {
            const QRegularExpressionMatch started
                = QRegularExpression(QStringLiteral("Received data: \\[started:(\\d+),"))
                      .match(testlog::lines().join('\n'));
            QVERIFY(started.hasMatch());
            QCOMPARE(::kill(started.captured(1).toInt(), SIGKILL), 0);
        } else {
            // Stop: SIGTERM over the management interface (a kill ends with 9), and OpenVPN's exit comes back.
            QVERIFY(client->stop());
        }
        QTRY_COMPARE_WITH_TIMEOUT(events.join(';'), ending, 15000);
        QTest::qWait(500);
        QCOMPARE(events.join(';'), ending);
    }

    void wrongPassword()
    {
        client->setServer(QStringLiteral("198.51.100.1"), true);
        client->setCredentials(QStringLiteral("demo"), QStringLiteral("not the password"));
        QVERIFY(client->start());
        // OpenVPN gives up by itself with 0, which after a rejection is no news.
        const QString expected("Disconnected;Connecting;Error Error: Wrong Username/Password critical;exit 0");
        QTRY_COMPARE_WITH_TIMEOUT(events.join(';'), expected, 30000);
        QTest::qWait(1000);
        QCOMPARE(events.join(';'), expected);
    }
};

QTEST_GUILESS_MAIN(TestOpenVpnE2e)
#include "tst_openvpne2e.moc"
