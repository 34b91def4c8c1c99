// OpenVpnClient against the development host's real OpenVPN servers, with the real vpn-service
// running OpenVPN through the launcher. Runs inside the client namespace that
// run-in-devhost-net.sh sets up.
#include "app/logger.h"
#include "service/servicecontroller.h"
#include "servicefixture.h"
#include "testclient.h"

#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
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
    void cleanupTestCase();
    void init();
    void cleanup();

    void connects_data();
    void connects();
    void wrongPassword();
    void killedFromOutside();
    void serverComesBack();

private:
    // Sends datagrams into the tunnel and knocks on a closed port, whose refusals come back.
    void makeTraffic(const QString& address);
    // Waits for an emission of the state at or after index from of the spy.
    bool waitForState(QSignalSpy& spy, int state, int timeout, int from = 0);
    QString user() const;
    QString password() const;

    QTemporaryDir dataHome;
    ServiceFixture service;
    ServiceController* controller = nullptr;
    std::unique_ptr<TestClient> client;
    std::unique_ptr<LogCapture> log;
};

QString TestOpenVpnE2e::user() const
{
    return qEnvironmentVariable("VPNC_DEMO_USER", QStringLiteral("demo"));
}

QString TestOpenVpnE2e::password() const
{
    return qEnvironmentVariable("VPNC_DEMO_PASSWORD", QStringLiteral("demo-password"));
}

void TestOpenVpnE2e::initTestCase()
{
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    Logger::instance();
    QString error;
    QVERIFY2(service.start(QStringLiteral(VPN_APP_DIR "/openvpn/bin/openvpn.exe"), &error), qPrintable(error));
    controller = new ServiceController(this);
    QSignalSpy connected(controller, &ServiceController::connected);
    QVERIFY(connected.wait(10000));
}

void TestOpenVpnE2e::cleanupTestCase()
{
    service.stop();
}

void TestOpenVpnE2e::init()
{
    log = std::make_unique<LogCapture>();
    client = std::make_unique<TestClient>();
}

void TestOpenVpnE2e::cleanup()
{
    if (QTest::currentTestFailed()) {
        // The client's own log goes to its log file, which the test removes: show it here.
        for (const QString& line : log->lines()) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
        }
    }
    // An OpenVPN still running after a failed case must not meet the next one.
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    client->stop();
    finished.wait(5000);
    client.reset();
    log.reset();
}

bool TestOpenVpnE2e::waitForState(QSignalSpy& spy, int state, int timeout, int from)
{
    QElapsedTimer timer;
    timer.start();
    int seen = from;
    while (timer.elapsed() < timeout) {
        for (; seen < spy.count(); ++seen) {
            if (spy.at(seen).at(0).toInt() == state) {
                return true;
            }
        }
        spy.wait(200);
    }
    return false;
}

void TestOpenVpnE2e::makeTraffic(const QString& address)
{
    QUdpSocket udp;
    const QByteArray payload(1000, 'x');
    for (int i = 0; i < 50; ++i) {
        udp.writeDatagram(payload, QHostAddress(address), 9);
    }
    for (int i = 0; i < 5; ++i) {
        QTcpSocket tcp;
        tcp.connectToHost(address, 9);
        tcp.waitForConnected(1000);
    }
}

void TestOpenVpnE2e::connects_data()
{
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("pool");
    QTest::addColumn<QString>("dns4");
    QTest::addColumn<QString>("dns6");
    QTest::newRow("UDP") << true << QStringLiteral("10.8.0.") << QStringLiteral("10.8.0.1")
                         << QStringLiteral("fd00:8::1");
    QTest::newRow("TCP") << false << QStringLiteral("10.8.1.") << QStringLiteral("10.8.1.1")
                         << QStringLiteral("fd00:8:1::1");
}

void TestOpenVpnE2e::connects()
{
    QFETCH(bool, udp);
    QFETCH(QString, pool);
    QFETCH(QString, dns4);
    QFETCH(QString, dns6);

    client->setServer(QStringLiteral("198.51.100.1"), udp, true);
    client->setCredentials(user(), password());
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy assigned(client.get(), &VpnClient::assignedInternalIp);
    QSignalSpy dns(client.get(), &VpnClient::dnsServerAddressesPushed);
    QSignalSpy bytes(client.get(), &VpnClient::byteCountChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);

    QVERIFY(client->start());
    QVERIFY2(waitForState(states, VpnClient::Connected, 30000), qPrintable(log->lines().join(QLatin1Char('\n'))));
    QCOMPARE(states.at(0).at(0).toInt(), int(VpnClient::Disconnected));
    QCOMPARE(states.at(1).at(0).toInt(), int(VpnClient::Connecting));
    for (const QList<QVariant>& emission : qAsConst(states)) {
        QVERIFY(emission.at(0).toInt() != VpnClient::Error);
    }
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Auth passed")), 1);
    // OpenVPN's own log reaches the client's file through the descriptor the service opened.
    const auto vpnLog = [] {
        QFile file(Logger::instance()->vpnLogFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_VERIFY(vpnLog().contains("Initialization Sequence Completed"));

    QCOMPARE(assigned.count(), 1);
    QVERIFY2(assigned.at(0).at(0).toString().startsWith(pool), qPrintable(assigned.at(0).at(0).toString()));
    // OpenVPN runs on the adapter that was there before it started.
    const QNetworkInterface adapter = QNetworkInterface::interfaceFromName(QStringLiteral("tun0"));
    QVERIFY(adapter.isValid());
    bool onAdapter = false;
    for (const QNetworkAddressEntry& entry : adapter.addressEntries()) {
        onAdapter = onAdapter || entry.ip().toString() == assigned.at(0).at(0).toString();
    }
    QVERIFY(onAdapter);
    QCOMPARE(dns.count(), 1);
    QCOMPARE(dns.at(0).at(0).toString(), dns4);
    QCOMPARE(dns.at(0).at(1).toString(), dns6);

    // Counters grow while traffic crosses the tunnel. OpenVPN 2.6 sends the first one about ten
    // seconds after the tunnel came up (with its first coarse timer), then every second.
    makeTraffic(dns4);
    QTRY_VERIFY_WITH_TIMEOUT(bytes.count() >= 1, 25000);
    const quint64 received = bytes.last().at(0).value<quint64>();
    const quint64 sent = bytes.last().at(1).value<quint64>();
    QVERIFY(received > 0);
    QVERIFY(sent > 0);
    makeTraffic(dns4);
    QTRY_VERIFY_WITH_TIMEOUT(
        bytes.last().at(0).value<quint64>() > received && bytes.last().at(1).value<quint64>() > sent + 50 * 1000,
        10000);
    QCOMPARE(log->count(QStringLiteral("BYTECOUNT")), 0);

    // Stop: SIGTERM over the management interface, and OpenVPN's exit comes back.
    QVERIFY(client->stop());
    QCOMPARE(log->count(QStringLiteral("OpenVpnClient: Send TERM signal, status: true")), 1);
    QCOMPARE(states.last().at(0).toInt(), int(VpnClient::Disconnected));
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QTest::qWait(500);
    QCOMPARE(states.last().at(0).toInt(), int(VpnClient::Disconnected));
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
}

void TestOpenVpnE2e::wrongPassword()
{
    client->setServer(QStringLiteral("198.51.100.1"), true, true);
    client->setCredentials(user(), QStringLiteral("not the password"));
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QVERIFY(waitForState(states, VpnClient::Error, 30000));
    const QList<QVariant> error = states.last();
    QCOMPARE(error.at(1).toString(), QStringLiteral("Error: Wrong Username/Password"));
    QCOMPARE(error.at(2).toBool(), true);
    // OpenVPN gives up by itself; automatic reconnection is off after a rejection.
    QVERIFY(finished.wait(30000));
    QTest::qWait(1000);
    QCOMPARE(log->count(QStringLiteral("Reconnecting...")), 0);
    QCOMPARE(finished.count(), 1);
    for (const QList<QVariant>& emission : qAsConst(states)) {
        QVERIFY(emission.at(0).toInt() != VpnClient::Connected);
    }
}

void TestOpenVpnE2e::killedFromOutside()
{
    QSignalSpy output(controller, &ServiceController::processOutput);
    client->setServer(QStringLiteral("198.51.100.1"), true, false);
    client->setCredentials(user(), password());
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QVERIFY(waitForState(states, VpnClient::Connected, 30000));

    qint64 pid = 0;
    for (const QList<QVariant>& message : qAsConst(output)) {
        const QString line = message.at(0).toString();
        if (line.startsWith(QStringLiteral("started:")) && line.endsWith(QStringLiteral(",openvpn"))) {
            pid = line.mid(8).section(QLatin1Char(','), 0, 0).toLongLong();
        }
    }
    QVERIFY(pid > 0);
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);

    QVERIFY(finished.wait(15000));
    QVERIFY(finished.at(0).at(0).toInt() != 0);
    QCOMPARE(states.last().at(0).toInt(), int(VpnClient::Disconnected));
    QCOMPARE(states.last().at(1).toString(), QStringLiteral("CrashExit"));
    QCOMPARE(states.last().at(2).toBool(), false);
}

void TestOpenVpnE2e::serverComesBack()
{
    const QString runDir = qEnvironmentVariable("VPNC_RUN_DIR");
    const QString top = qEnvironmentVariable("TOP");
    if (runDir.isEmpty() || top.isEmpty()) {
        QSKIP("needs the development host's server set up by run-in-devhost-net.sh");
    }
    QSignalSpy output(controller, &ServiceController::processOutput);
    client->setServer(QStringLiteral("198.51.100.1"), false, true);
    client->setCredentials(user(), password());
    QSignalSpy states(client.get(), &VpnClient::stateChanged);
    QSignalSpy finished(client.get(), &VpnClient::processFinished);
    QVERIFY(client->start());
    QVERIFY(waitForState(states, VpnClient::Connected, 30000));

    // The TCP server goes away and comes back.
    const int before = states.count();
    const int outputBefore = output.count();
    QFile pidFile(runDir + QStringLiteral("/vpns-tcp.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t serverPid = static_cast<pid_t>(pidFile.readAll().trimmed().toLongLong());
    QVERIFY(serverPid > 0);
    QCOMPARE(::kill(serverPid, SIGTERM), 0);
    QTRY_VERIFY_WITH_TIMEOUT(::kill(serverPid, 0) != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(log->count(QStringLiteral(",RECONNECTING,")) >= 1, 15000);
    QProcess restart;
    restart.setProcessChannelMode(QProcess::ForwardedChannels);
    restart.start(QStringLiteral("bash"),
        { QStringLiteral("-c"), QStringLiteral("set -eu; source \"$TOP/devhost/setup.d/50-vpnserver.sh\"") });
    QVERIFY(restart.waitForFinished(30000));
    QCOMPARE(restart.exitCode(), 0);

    // OpenVPN restarts inside the same process (asking for the credentials again when it no longer
    // holds them): Connected again, and no new start.
    QVERIFY(waitForState(states, VpnClient::Connected, 60000, before));
    int connected = 0;
    for (const QList<QVariant>& emission : qAsConst(states)) {
        connected += emission.at(0).toInt() == VpnClient::Connected ? 1 : 0;
    }
    QCOMPARE(connected, 2);
    QCOMPARE(finished.count(), 0);
    for (int i = outputBefore; i < output.count(); ++i) {
        QVERIFY(!output.at(i).at(0).toString().startsWith(QStringLiteral("started:")));
    }
    QCOMPARE(log->count(QStringLiteral("Management: Sent password: ***")), 2);
}

QTEST_GUILESS_MAIN(TestOpenVpnE2e)
#include "tst_openvpne2e.moc"
