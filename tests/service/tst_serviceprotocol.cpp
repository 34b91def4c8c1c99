// Status line parsing, service processes and the link's framing, against an in-process
// WebSocket server on the service port that records what the client sends.
#include "logcapture.h"
#include "service/openvpnprocess.h"
#include "service/servicecontroller.h"
#include "service/servicemessage.h"
#include "service/serviceprocess.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

class TestServiceProtocol : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parse_data();
    void parse();
    void processReactsToItsOwnLines_data();
    void processReactsToItsOwnLines();
    void startCommand_data();
    void startCommand();
    void openVpnCommands();
    void openVpnAllKilled();

    void incomingMessageLosesLastCharacter_data();
    void incomingMessageLosesLastCharacter();
    void emptyCommandIsNeitherSentNorQueued();
    void queuedCommandsFollowInitInOrder();
    void dropWhileDownIsIgnored();

private:
    QStringList received;
    QWebSocketServer* server = nullptr;
    QList<QWebSocket*> peers;
};

void TestServiceProtocol::init()
{
    received.clear();
    peers.clear();
    server = new QWebSocketServer("fake vpn-service", QWebSocketServer::NonSecureMode, this);
    QVERIFY(server->listen(QHostAddress::LocalHost, 6447));
    connect(server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* peer = server->nextPendingConnection()) {
            peers.append(peer);
            connect(peer, &QWebSocket::textMessageReceived, this, [this](const QString& m) {
                received.append(m);
            });
        }
    });
}

void TestServiceProtocol::cleanup()
{
    delete server;
    server = nullptr;
}

void TestServiceProtocol::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("started ok") << "started:123,0,openvpn" << int(ServiceMessage::Started) << 0u << "openvpn";
    QTest::newRow("started failed") << "started:0,2,dns" << int(ServiceMessage::Started) << 2u << "dns";
    QTest::newRow("finished") << "finished:77,1,openvpn" << int(ServiceMessage::Finished) << 1u << "openvpn";
    QTest::newRow("not a number") << "finished:77,x,openvpn" << int(ServiceMessage::Finished) << 0u << "openvpn";
    QTest::newRow("blanks around") << "finished:77, 5 ,dns" << int(ServiceMessage::Finished) << 5u << "dns";
    QTest::newRow("large unsigned") << "finished:1,4294967295,dns" << int(ServiceMessage::Finished) << 4294967295u
                                    << "dns";
    QTest::newRow("single field") << "finished:openvpn" << int(ServiceMessage::Finished) << 0u << "openvpn";
    QTest::newRow("blank kept") << "finished: openvpn" << int(ServiceMessage::Finished) << 0u << " openvpn";
    QTest::newRow("every prefix removed") << "started:1,0,started:x" << int(ServiceMessage::Started) << 0u << "x";
    QTest::newRow("capital") << "Finished:1,0,openvpn" << int(ServiceMessage::None) << 0u << "";
    QTest::newRow("not at start") << " started:1,0,dns" << int(ServiceMessage::None) << 0u << "";
    QTest::newRow("empty rest") << "started:" << int(ServiceMessage::Started) << 0u << "";
    QTest::newRow("empty last field") << "started:1,0," << int(ServiceMessage::Started) << 0u << "";
}

void TestServiceProtocol::parse()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(uint, code);
    QFETCH(QString, name);
    const ServiceMessage message = ServiceMessage::parse(line);
    QCOMPARE(int(message.kind), kind);
    QCOMPARE(message.code, code);
    QCOMPARE(message.processName, name);
}

void TestServiceProtocol::processReactsToItsOwnLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("signal"); // started, error, finished or none
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("state");
    QTest::newRow("started") << "started:1,0,openvpn"
                             << "started" << 0 << int(Running);
    QTest::newRow("start failed") << "started:0,2,openvpn"
                                  << "error" << 2 << int(NotRunning);
    QTest::newRow("finished") << "finished:1,1,openvpn"
                              << "finished" << 1 << int(NotRunning);
    QTest::newRow("finished garbage code") << "finished:1,abc,openvpn"
                                           << "finished" << 0 << int(NotRunning);
    QTest::newRow("bare name") << "finished:openvpn"
                               << "finished" << 0 << int(NotRunning);
    QTest::newRow("other name") << "started:1,0,killswitch"
                                << "none" << 0 << int(Starting);
    QTest::newRow("blank before name") << "finished: openvpn"
                                       << "none" << 0 << int(Starting);
    QTest::newRow("capital F") << "Finished:1,0,openvpn"
                               << "none" << 0 << int(Starting);
    QTest::newRow("case of name") << "started:1,0,OpenVPN"
                                  << "none" << 0 << int(Starting);
}

void TestServiceProtocol::processReactsToItsOwnLines()
{
    QFETCH(QString, line);
    QFETCH(QString, signal);
    QFETCH(int, value);
    QFETCH(int, state);
    ServiceController controller;
    ServiceProcess process("openvpn");
    ServiceProcess twin("openvpn");
    process.start(QString("start: \"x\""));
    QCOMPARE(process.state(), int(Starting));

    QSignalSpy started(&process, &ServiceProcess::started);
    QSignalSpy error(&process, &ServiceProcess::error);
    QSignalSpy finished(&process, &ServiceProcess::finished);
    QSignalSpy twinSignals(&twin, &ServiceProcess::started);
    int stateInsideSignal = -1;
    const auto remember = [&] {
        stateInsideSignal = process.state();
    };
    connect(&process, &ServiceProcess::started, this, remember);
    connect(&process, &ServiceProcess::error, this, remember);
    connect(&process, &ServiceProcess::finished, this, remember);

    emit controller.processOutput(line);

    QCOMPARE(started.count(), signal == "started" ? 1 : 0);
    QCOMPARE(error.count(), signal == "error" ? 1 : 0);
    QCOMPARE(finished.count(), signal == "finished" ? 1 : 0);
    if (signal == "error") {
        QCOMPARE(error.at(0).at(0).toInt(), value);
    }
    if (signal == "finished") {
        QCOMPARE(finished.at(0).at(0).toInt(), value);
    }
    if (signal != "none") {
        QCOMPARE(stateInsideSignal, int(Starting)); // signals go out before the state changes
    }
    QCOMPARE(process.state(), state);
    // Two objects of the same name both react to the same line.
    QCOMPARE(twinSignals.count(), signal == "started" ? 1 : 0);
}

void TestServiceProtocol::startCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("command");
    QTest::newRow("empty") << QStringList() << "start: ";
    QTest::newRow("program only") << QStringList { "C:\\app\\dns.exe" } << "start: \"C:\\app\\dns.exe\"";
    QTest::newRow("blank inside") << QStringList { "/a/b", "x", "two words" } << "start: \"/a/b\" \"x\" \"two words\"";
    QTest::newRow("unescaped") << QStringList { "/p", "a\"b", "c\\d" } << "start: \"/p\" \"a\"b\" \"c\\d\"";
}

void TestServiceProtocol::startCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, command);
    QCOMPARE(ServiceProcess::startCommand(arguments), command);

    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    QTRY_COMPARE(connected.count(), 1);
    ServiceProcess process("dns");
    process.start(arguments);
    QCOMPARE(process.state(), int(Starting));
    QTRY_COMPARE(received.size(), 2);
    QCOMPARE(received.at(1), command);
}

void TestServiceProtocol::openVpnCommands()
{
    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    QTRY_COMPARE(connected.count(), 1);
    OpenVpnProcess process;
    process.start(QStringList { "/app/openvpn/bin/openvpn.exe", "--config", "c d" });
    QCOMPARE(process.state(), int(Starting));
    process.stop("whatever");
    process.killOpenVpn();
    QCOMPARE(process.state(), int(Starting)); // neither changes the state
    QTRY_COMPARE(received.size(), 4);
    QCOMPARE(received,
        QStringList({ "init: connection", "start: \"/app/openvpn/bin/openvpn.exe\" \"--config\" \"c d\"",
            "stop: <openvpn>", "start: <kill openvpn>" }));
}

void TestServiceProtocol::openVpnAllKilled()
{
    ServiceController controller;
    OpenVpnProcess process;
    QSignalSpy allKilled(&process, &OpenVpnProcess::allKilled);
    QSignalSpy finished(&process, &ServiceProcess::finished);
    process.onProcessOutput("<kill openvpn>", "started:1,0,openvpn");
    QCOMPARE(allKilled.count(), 0);
    process.onProcessOutput("openvpn", "finished:1,0,openvpn");
    QCOMPARE(allKilled.count(), 0);
    QCOMPARE(finished.count(), 1);
    process.onProcessOutput("<kill openvpn>", "finished:1,9,openvpn");
    QCOMPARE(allKilled.count(), 1);
    QCOMPARE(finished.count(), 2);
}

void TestServiceProtocol::incomingMessageLosesLastCharacter_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QStringList>("delivered");
    QTest::addColumn<QString>("logged");
    QTest::newRow("line end") << "started:\n" << QStringList { "started:" } << "Received data: [started:]";
    QTest::newRow("not a line end") << "finished:1,0,dnsX" << QStringList { "finished:1,0,dns" }
                                    << "Received data: [finished:1,0,dns]";
    QTest::newRow("single character") << "\n" << QStringList() << "Received data: []";
    QTest::newRow("simplified in log only") << "a  b\tc\n" << QStringList { "a  b\tc" } << "Received data: [a b c]";
}

void TestServiceProtocol::incomingMessageLosesLastCharacter()
{
    QFETCH(QString, sent);
    QFETCH(QStringList, delivered);
    QFETCH(QString, logged);
    LogCapture log;
    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    QSignalSpy output(&controller, &ServiceController::processOutput);
    QTRY_COMPARE(connected.count(), 1);
    QTRY_COMPARE(peers.size(), 1);
    peers.first()->sendTextMessage(sent);
    peers.first()->sendBinaryMessage("finished:1,0,dns\n"); // only text messages are read
    peers.first()->sendTextMessage("end\n");
    QTRY_VERIFY(log.count("Received data: [end]") == 1);
    QStringList texts;
    for (const auto& arguments : output) {
        texts.append(arguments.at(0).toString());
    }
    QCOMPARE(texts, delivered + QStringList { "end" });
    QCOMPARE(log.count("ServiceController: " + logged), 1);
}

void TestServiceProtocol::emptyCommandIsNeitherSentNorQueued()
{
    LogCapture log;
    delete server; // link down
    server = nullptr;
    ServiceController controller;
    controller.sendCommand(QString());
    QCOMPARE(log.count("ServiceController: Invalid command"), 1);
    QCOMPARE(log.count("data will be bufferedd"), 0);
}

void TestServiceProtocol::queuedCommandsFollowInitInOrder()
{
    server->close(); // down at first
    LogCapture log;
    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    controller.sendCommand("A");
    controller.sendCommand("B");
    QCOMPARE(log.count("ServiceController: Invalid socked, data will be bufferedd: A"), 1);
    QVERIFY(server->listen(QHostAddress::LocalHost, 6447));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
    controller.sendCommand("C");
    QTRY_COMPARE(received.size(), 4);
    QCOMPARE(received, QStringList({ "init: connection", "A", "B", "C" }));
    const QStringList lines = log.lines();
    const int a = lines.indexOf("ServiceController: Save data in buffer: A");
    QVERIFY(a > 0);
    QCOMPARE(lines.at(a + 1), QString("ServiceController: Send data: [A]"));
    QCOMPARE(lines.at(a + 2), QString("ServiceController: Save data in buffer: B"));
    QCOMPARE(lines.at(a + 3), QString("ServiceController: Send data: [B]"));

    // The shutdown init goes out at once, a second time.
    controller.sendInitCommand();
    QTRY_COMPARE(received.size(), 5);
    QCOMPARE(received.last(), QString("init: connection"));
}

void TestServiceProtocol::dropWhileDownIsIgnored()
{
    LogCapture log;
    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    QSignalSpy disconnected(&controller, &ServiceController::disconnected);
    QTRY_COMPARE(connected.count(), 1);
    QTRY_COMPARE(peers.size(), 1);
    peers.first()->close();
    QTRY_COMPARE(disconnected.count(), 1);
    QCOMPARE(log.count("ServiceController: Connection lost"), 1);
    // Still down: a second drop notification changes nothing.
    QMetaObject::invokeMethod(controller.findChild<QWebSocket*>(), "disconnected");
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(log.count("ServiceController: Connection lost"), 1);
}

QTEST_GUILESS_MAIN(TestServiceProtocol)
#include "tst_serviceprotocol.moc"
