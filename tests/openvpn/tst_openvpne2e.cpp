// OpenVpnClient against the development host's real OpenVPN servers, with the real vpn-service
// running OpenVPN through the launcher, inside the client namespace run-in-devhost-net.sh sets up.
#include "app/logger.h"
#include "service/servicecontroller.h"
#include "support.h"

#include <QNetworkInterface>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <memory>

class TestOpenVpnE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void connects_data();
    void connects();
    void wrongPassword();

private:
    QTemporaryDir dataHome;
    ServiceFixture service;
    ServiceController* controller = nullptr;
    std::unique_ptr<TestClient> client;
    std::unique_ptr<LogCapture> log;
};

void TestOpenVpnE2e::initTestCase()
{
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    Logger::instance();
    const QString error = service.start(QStringLiteral(VPN_APP_DIR "/openvpn/bin/openvpn.exe"));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    controller = new ServiceController(this);
    QSignalSpy connected(controller, &ServiceController::connected);
    QVERIFY(connected.wait(10000));
}

void TestOpenVpnE2e::init()
{
    log = std::make_unique<LogCapture>();
    client = std::make_unique<TestClient>();
    client->setCredentials(qEnvironmentVariable("VPNC_DEMO_USER", QStringLiteral("demo")),
        qEnvironmentVariable("VPNC_DEMO_PASSWORD", QStringLiteral("demo-password")));
}

void TestOpenVpnE2e::cleanup()
{
    // The client's own log file goes with the test's folder: show it on failure.
    for (const QString& line : QTest::currentTestFailed() ? log->lines() : QStringList()) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
    }
    // An OpenVPN still running after a failed case must not meet the next one.
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    client->stop();
    finished.wait(5000);
    client.reset();
    log.reset();
}

void TestOpenVpnE2e::connects_data()
{
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("pool");
    QTest::addColumn<QString>("dns");
    QTest::addColumn<bool>("kill");
    QTest::newRow("UDP, stop") << true << "10.8.0."
                               << "10.8.0.1 fd00:8::1" << false;
    QTest::newRow("TCP, killed from outside") << false << "10.8.1."
                                              << "10.8.1.1 fd00:8:1::1" << true;
}

void TestOpenVpnE2e::connects()
{
    QFETCH(bool, udp);
    QFETCH(QString, pool);
    QFETCH(QString, dns);
    QFETCH(bool, kill);
    client->setServer(QStringLiteral("198.51.100.1"), udp, false);
    QSignalSpy output(controller, &ServiceController::processOutput);
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy assigned(client.get(), &VpnClient::assignedInternalIp);
    QSignalSpy pushed(client.get(), &VpnClient::dnsServerAddressesPushed);
    QSignalSpy bytes(client.get(), &VpnClient::byteCountChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QTRY_VERIFY_WITH_TIMEOUT(stateTexts(states).contains(QStringLiteral("Connected ''")), 30000);
    QCOMPARE(stateTexts(states).join('|'), QStringLiteral("Disconnected ''|Connecting ''|Connected ''"));
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Auth passed")), 1);

    // The assigned address is on the adapter that was there before OpenVPN started.
    QCOMPARE(assigned.count(), 1);
    const QString address = assigned.at(0).at(0).toString();
    QVERIFY2(address.startsWith(pool), qPrintable(address));
    QStringList onAdapter;
    for (const QNetworkAddressEntry& entry :
        QNetworkInterface::interfaceFromName(QStringLiteral("tun0")).addressEntries()) {
        onAdapter << entry.ip().toString();
    }
    QVERIFY(onAdapter.contains(address));
    QCOMPARE(pushed.count(), 1);
    QCOMPARE(pushed.at(0).at(0).toString() + ' ' + pushed.at(0).at(1).toString(), dns);

    // Counters grow while datagrams cross the tunnel. OpenVPN 2.6 sends the first one about ten
    // seconds after the tunnel came up (with its first coarse timer), then every second.
    const auto traffic = [&dns] {
        QUdpSocket udp;
        for (int i = 0; i < 50; ++i) {
            udp.writeDatagram(QByteArray(1000, 'x'), QHostAddress(dns.section(' ', 0, 0)), 9);
        }
        // Knocks on a closed port, whose refusals come back.
        for (int i = 0; i < 5; ++i) {
            QTcpSocket tcp;
            tcp.connectToHost(dns.section(' ', 0, 0), 9);
            tcp.waitForConnected(1000);
        }
    };
    traffic();
    QTRY_VERIFY_WITH_TIMEOUT(bytes.count() >= 1, 25000);
    const quint64 received = bytes.last().at(0).value<quint64>();
    const quint64 sent = bytes.last().at(1).value<quint64>();
    QVERIFY(received > 0 && sent > 0);
    traffic();
    QTRY_VERIFY_WITH_TIMEOUT(
        bytes.last().at(0).value<quint64>() > received && bytes.last().at(1).value<quint64>() > sent + 50 * 1000,
        10000);
    QCOMPARE(log->count(QStringLiteral("BYTECOUNT")), 0);

    if (kill) {
        // The service reports "started:PID,openvpn".
        const QStringList started = [&output] {
            QStringList lines;
            for (const QList<QVariant>& message : qAsConst(output)) {
                lines << message.at(0).toString();
            }
            return lines.filter(QRegularExpression(QStringLiteral("^started:\\d+,openvpn$")));
        }();
        QCOMPARE(started.size(), 1);
        QCOMPARE(::kill(static_cast<pid_t>(started.at(0).mid(8).section(',', 0, 0).toLongLong()), SIGKILL), 0);
    } else {
        // Stop: SIGTERM over the management interface, and OpenVPN's exit comes back.
        QVERIFY(client->stop());
        QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Send TERM signal, status: true")), 1);
    }
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.at(0).at(0).toInt() != 0, kill);
    QTest::qWait(500);
    QCOMPARE(stateTexts(states).last(),
        kill ? QStringLiteral("Disconnected 'CrashExit'") : QStringLiteral("Disconnected ''"));
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
}

void TestOpenVpnE2e::wrongPassword()
{
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    client->setCredentials(QStringLiteral("demo"), QStringLiteral("not the password"));
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    // OpenVPN gives up by itself; automatic reconnection is off after a rejection.
    QVERIFY(finished.wait(30000));
    QTest::qWait(1000);
    QCOMPARE(stateTexts(states).join('|'),
        QStringLiteral("Disconnected ''|Connecting ''|Error 'Error: Wrong Username/Password' critical"));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
}

QTEST_GUILESS_MAIN(TestOpenVpnE2e)
#include "tst_openvpne2e.moc"
