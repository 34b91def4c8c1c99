#include "httpstestserver.h"
#include "servers/networkapi.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QtTest>

using Response = HttpsTestServer::Response;
using Mode = HttpsTestServer::Mode;

// An expected log line: its type and a pattern for its whole text.
struct LogLine
{
    QtMsgType type;
    QString pattern;
};
using LogLines = QList<LogLine>;

Q_DECLARE_METATYPE(Response)
Q_DECLARE_METATYPE(LogLines)

namespace {

const QByteArray geoIpPath = "/v3/geoip";
const QByteArray feedPath = "/feeds/serverinfo.xml";
const int waitMs = 20000;

QString dataFile(const QString& name)
{
    return QStringLiteral(VPN_TEST_DATA_DIR "/servers/") + name;
}

QByteArray readData(const QString& name)
{
    QFile file(dataFile(name));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("Cannot read %s", qPrintable(name));
    }
    return file.readAll();
}

Response json(const QByteArray& body)
{
    return Response { 200, "application/json", body, Mode::Complete, 0 };
}

Response xml(const QByteArray& body)
{
    return Response { 200, "text/xml", body, Mode::Complete, 0 };
}

// Turns a literal text into a whole-line pattern: "%URL" stands for the URL, "%ANY" for any text.
QRegularExpression linePattern(const QString& pattern, const QString& url)
{
    QString expression;
    const QStringList pieces = QString(pattern).replace(QStringLiteral("%URL"), url).split(QStringLiteral("%ANY"));
    for (int i = 0; i < pieces.size(); ++i) {
        expression += (i > 0 ? QStringLiteral(".*") : QString()) + QRegularExpression::escape(pieces.at(i));
    }
    return QRegularExpression(QLatin1Char('^') + expression + QLatin1Char('$'));
}

void expectLogLines(const LogLines& lines, const QString& url)
{
    for (const LogLine& line : lines) {
        QTest::ignoreMessage(line.type, linePattern(line.pattern, url));
    }
}

QByteArray utf16WithBom(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes;
}

} // namespace

class TestNetworkApi : public QObject
{
    Q_OBJECT

private slots:
    void geoIp_data();
    void geoIp();
    void serverList_data();
    void serverList();
    void requestsBoth_data();
    void requestsBoth();
    void trust_data();
    void trust();
    void pinAddsToSystemTrust();
    void parsedFields();

private:
    QByteArray testCa = readData(QStringLiteral("test-ca.pem"));
};

void TestNetworkApi::geoIp_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("country");
    QTest::addColumn<LogLines>("log");

    const int normal = NetworkApi::defaultReplyTimeout;
    QTest::newRow("IPv4") << json(R"({"data":{"ip":"192.0.2.2","iso_code":"DE","city":"x"},"meta":1})") << normal
                          << "192.0.2.2"
                          << "DE"
                          << LogLines { { QtInfoMsg,
                                 "NetworkApi: Network request '%URL' finished, IP: 192.0.2.2, valid: true" } };
    QTest::newRow("IPv6 emitted but invalid")
        << json(R"({"data":{"ip":"2001:db8::5","iso_code":"NL"}})") << normal << "2001:db8::5"
        << "NL"
        << LogLines { { QtInfoMsg, "NetworkApi: Network request '%URL' finished, IP: 2001:db8::5, valid: false" } };
    QTest::newRow("malformed JSON")
        << json(R"({"data":{"ip":"192.0.2.2","iso_code":"DE")") << normal << ""
        << ""
        << LogLines { { QtCriticalMsg, "NetworkApi: Cannot parse JSON document. Error: '%ANY'" },
               { QtInfoMsg, "NetworkApi: Network request '%URL' finished, IP: , valid: false" } };
    QTest::newRow("JSON in UTF-16")
        << json(utf16WithBom(R"({"data":{"ip":"192.0.2.2","iso_code":"DE"}})")) << normal << ""
        << ""
        << LogLines { { QtCriticalMsg, "NetworkApi: Cannot parse JSON document. Error: '%ANY'" },
               { QtInfoMsg, "NetworkApi: Network request '%URL' finished, IP: , valid: false" } };
    QTest::newRow("members missing") << json(R"({"data":{"address":"192.0.2.2"}})") << normal << ""
                                     << ""
                                     << LogLines { { QtInfoMsg,
                                            "NetworkApi: Network request '%URL' finished, IP: , valid: false" } };
    QTest::newRow("data not an object") << json(R"({"data":["192.0.2.2"]})") << normal << ""
                                        << ""
                                        << LogLines { { QtInfoMsg,
                                               "NetworkApi: Network request '%URL' finished, IP: , valid: false" } };
    QTest::newRow("top level array") << json(R"([{"data":{"ip":"192.0.2.2"}}])") << normal << ""
                                     << ""
                                     << LogLines { { QtInfoMsg,
                                            "NetworkApi: Network request '%URL' finished, IP: , valid: false" } };
    QTest::newRow("HTTP 500") << Response { 500, "text/plain", "broken", Mode::Complete, 0 } << normal << "0.0.0.0"
                              << ""
                              << LogLines { { QtWarningMsg,
                                     "NetworkApi: Network request '%URL' finished, error: %ANY" } };
    QTest::newRow("enormous body") << Response { 200, "application/json", "{\"data\":", Mode::Stream, 6 * 1024 * 1024 }
                                   << normal << "0.0.0.0"
                                   << ""
                                   << LogLines {
                                          { QtWarningMsg, "NetworkApi: Network request '%URL' exceeds 4194304 bytes" },
                                          { QtWarningMsg, "NetworkApi: Network request '%URL' finished, error: %ANY" }
                                      };
    QTest::newRow("enormous length announced")
        << Response { 200, "application/json", "{\"data\":", Mode::Announce, qint64(1) << 40 } << normal << "0.0.0.0"
        << ""
        << LogLines { { QtWarningMsg, "NetworkApi: Network request '%URL' exceeds 4194304 bytes" },
               { QtWarningMsg, "NetworkApi: Network request '%URL' finished, error: %ANY" } };
    QTest::newRow("reply never ends")
        << Response { 200, "application/json", "{\"data\":{\"ip\":", Mode::Stall, 0 } << 1500 << "0.0.0.0"
        << ""
        << LogLines { { QtWarningMsg, "NetworkApi: Network request '%URL' timed out after 1500 ms" },
               { QtWarningMsg, "NetworkApi: Network request '%URL' finished, error: %ANY" } };
}

void TestNetworkApi::geoIp()
{
    QFETCH(Response, response);
    QFETCH(int, timeout);
    QFETCH(QString, ip);
    QFETCH(QString, country);
    QFETCH(LogLines, log);

    HttpsTestServer server(dataFile(QStringLiteral("test-server.pem")), dataFile(QStringLiteral("test-server.key")));
    QVERIFY(server.listenOnLoopback());
    server.setResponse(geoIpPath, response);
    NetworkApi api(server.hostAndPort(), testCa);
    api.setReplyTimeout(timeout);
    QSignalSpy finished(&api, &NetworkApi::requestCurrentIpAddressFinished);

    QTest::ignoreMessage(QtInfoMsg, "NetworkApi: Request current IP address");
    expectLogLines(log, api.geoIpUrl());
    api.requestCurrentIpAddress();

    QVERIFY(finished.wait(waitMs));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), ip);
    QCOMPARE(finished.at(0).at(1).toString(), country);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().at(0).headers.value("accept"), QByteArray("application/json"));
    // Exactly one result per reply, also for an aborted one.
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
}

void TestNetworkApi::serverList_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<LogLines>("log");

    const QByteArray mixed = readData(QStringLiteral("feed-mixed.xml"));
    const QString sizeOfMixed = QString::number(QString::fromUtf8(mixed).size());
    QVERIFY(QString::fromUtf8(mixed).size() < mixed.size()); // it holds a multi-byte character

    QTest::newRow("hidden and offline filtered")
        << xml(mixed) << QStringList { "nl-ams-01", "se-sto-01", "bare", "nl-utr-01", "ch-zrh-01" }
        << LogLines { { QtInfoMsg,
               "NetworkApi: Network request '%URL' finished, data size: " + sizeOfMixed
                   + ", total online and visible servers: 5" } };
    const QByteArray hidden = readData(QStringLiteral("feed-hidden.xml"));
    QTest::newRow("none visible and online")
        << xml(hidden) << QStringList()
        << LogLines { { QtInfoMsg,
               "NetworkApi: Network request '%URL' finished, data size: " + QString::number(hidden.size())
                   + ", total online and visible servers: 0" } };
    QTest::newRow("truncated") << xml(readData(QStringLiteral("feed-truncated.xml"))) << QStringList { "nl-ams-01" }
                               << LogLines { { QtCriticalMsg, "NetworkApi: Cannot parse XML: %ANY" },
                                      { QtInfoMsg,
                                          "NetworkApi: Network request '%URL' finished, data size: %ANY, total online "
                                          "and visible servers: 1" } };

    // Latin-1 bytes with a Latin-1 declaration are still read as UTF-8: the servers survive,
    // the non-ASCII letter becomes a replacement character.
    QString latin1Text = QString::fromUtf8(mixed);
    latin1Text.replace(QStringLiteral("encoding=\"UTF-8\""), QStringLiteral("encoding=\"ISO-8859-1\""));
    QTest::newRow("Latin-1 read as UTF-8")
        << xml(latin1Text.toLatin1()) << QStringList { "nl-ams-01", "se-sto-01", "bare", "nl-utr-01", "ch-zrh-01" }
        << LogLines { { QtInfoMsg,
               "NetworkApi: Network request '%URL' finished, data size: %ANY, total online and visible servers: 5" } };
    QString utf16Text = QString::fromUtf8(mixed);
    utf16Text.replace(QStringLiteral("encoding=\"UTF-8\""), QStringLiteral("encoding=\"UTF-16\""));
    QTest::newRow("UTF-16 read as UTF-8") << xml(utf16WithBom(utf16Text)) << QStringList()
                                          << LogLines { { QtCriticalMsg, "NetworkApi: Cannot parse XML: %ANY" },
                                                 { QtInfoMsg,
                                                     "NetworkApi: Network request '%URL' finished, data size: %ANY, "
                                                     "total online and visible servers: 0" } };
    QTest::newRow("not XML at all") << xml("{\"servers\": []}") << QStringList()
                                    << LogLines { { QtCriticalMsg, "NetworkApi: Cannot parse XML: %ANY" },
                                           { QtInfoMsg,
                                               "NetworkApi: Network request '%URL' finished, data size: 15, total "
                                               "online and visible servers: 0" } };
    QTest::newRow("HTTP 404") << Response {
        404, "text/plain", "gone", Mode::Complete, 0
    } << QStringList() << LogLines { { QtWarningMsg, "NetworkApi: Network request '%URL' finished, error: %ANY" } };
    QTest::newRow("enormous body") << Response { 200, "text/xml", "<zorvoserverList>", Mode::Stream, 6 * 1024 * 1024 }
                                   << QStringList()
                                   << LogLines {
                                          { QtWarningMsg, "NetworkApi: Network request '%URL' exceeds 4194304 bytes" },
                                          { QtWarningMsg, "NetworkApi: Network request '%URL' finished, error: %ANY" }
                                      };
}

void TestNetworkApi::serverList()
{
    QFETCH(Response, response);
    QFETCH(QStringList, names);
    QFETCH(LogLines, log);

    HttpsTestServer server(dataFile(QStringLiteral("test-server.pem")), dataFile(QStringLiteral("test-server.key")));
    QVERIFY(server.listenOnLoopback());
    server.setResponse(feedPath, response);
    server.setResponse(geoIpPath, json(R"({"data":{"ip":"192.0.2.2","iso_code":"DE"}})"));
    NetworkApi api(server.hostAndPort(), testCa);
    QSignalSpy listFinished(&api, &NetworkApi::requestServerListFinished);
    QSignalSpy ipFinished(&api, &NetworkApi::requestCurrentIpAddressFinished);

    expectLogLines(log, api.serverListUrl());
    api.requestServerList();

    QTRY_COMPARE_WITH_TIMEOUT(listFinished.count(), 1, waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(ipFinished.count(), 1, waitMs);
    QCOMPARE(ipFinished.at(0).at(0).toString(), QStringLiteral("192.0.2.2"));
    const Servers servers = qvariant_cast<Servers>(listFinished.at(0).at(0));
    QStringList gotNames;
    for (int i = 0; i < servers.size(); ++i) {
        QCOMPARE(servers.at(i).id, i); // consecutive over the accepted servers only
        gotNames << servers.at(i).name;
    }
    QCOMPARE(gotNames, names);
}

void TestNetworkApi::requestsBoth_data()
{
    // %1 is the test server's port.
    QTest::addColumn<QString>("host");
    QTest::newRow("as the server names itself") << QStringLiteral("127.0.0.1:%1");
    // A reply reports its host in lower case; the replies must still be told apart.
    QTest::newRow("host in capitals") << QStringLiteral("LOCALHOST:%1");
}

void TestNetworkApi::requestsBoth()
{
    QFETCH(QString, host);
    HttpsTestServer server(dataFile(QStringLiteral("test-server.pem")), dataFile(QStringLiteral("test-server.key")));
    QVERIFY(server.listenOnLoopback());
    server.setResponse(feedPath, xml(readData(QStringLiteral("feed-mixed.xml"))));
    server.setResponse(geoIpPath, json(R"({"data":{"ip":"192.0.2.2","iso_code":"DE"}})"));
    NetworkApi api(host.arg(server.serverPort()), testCa);
    QSignalSpy listFinished(&api, &NetworkApi::requestServerListFinished);
    QSignalSpy ipFinished(&api, &NetworkApi::requestCurrentIpAddressFinished);

    api.requestServerList();
    QTRY_VERIFY_WITH_TIMEOUT(listFinished.count() == 1 && ipFinished.count() == 1, waitMs);
    QCOMPARE(server.requests().size(), 2);
    for (const HttpsTestServer::Request& request : server.requests()) {
        QVERIFY(request.path == feedPath || request.path == geoIpPath);
        QCOMPARE(request.headers.value("accept") == "application/json", request.path == geoIpPath);
    }
    QCOMPARE(qvariant_cast<Servers>(listFinished.at(0).at(0)).size(), 5);
    QCOMPARE(ipFinished.at(0).at(1).toString(), QStringLiteral("DE"));
}

void TestNetworkApi::trust_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QByteArray>("pin");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("pinned CA accepted") << "test-server" << testCa << true;
    QTest::newRow("another CA rejected by the pin") << "other-server" << testCa << false;
    QTest::newRow("no pin: system trust alone") << "test-server" << QByteArray() << false;
}

void TestNetworkApi::trust()
{
    QFETCH(QString, certificate);
    QFETCH(QByteArray, pin);
    QFETCH(bool, accepted);

    HttpsTestServer server(dataFile(certificate + ".pem"), dataFile(certificate + ".key"));
    QVERIFY(server.listenOnLoopback());
    server.setResponse(geoIpPath, json(R"({"data":{"ip":"192.0.2.2","iso_code":"DE"}})"));
    NetworkApi api(server.hostAndPort(), pin);
    QSignalSpy finished(&api, &NetworkApi::requestCurrentIpAddressFinished);
    if (!accepted) {
        QTest::ignoreMessage(
            QtWarningMsg, linePattern("NetworkApi: Network request '%URL' finished, error: %ANY", api.geoIpUrl()));
    }
    api.requestCurrentIpAddress();
    QVERIFY(finished.wait(waitMs));
    QCOMPARE(finished.at(0).at(0).toString(), accepted ? QStringLiteral("192.0.2.2") : QStringLiteral("0.0.0.0"));
    // A rejected certificate means no request was ever sent over the connection.
    QCOMPARE(server.requests().size(), accepted ? 1 : 0);
}

void TestNetworkApi::pinAddsToSystemTrust()
{
    const QList<QSslCertificate> pinned = QSslCertificate::fromData(testCa);
    QCOMPARE(pinned.size(), 1);
    NetworkApi api(QStringLiteral("127.0.0.1:1"), testCa);
    const QList<QSslCertificate> trusted = api.sslConfiguration().caCertificates();
    QVERIFY(trusted.contains(pinned.first()));
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    for (const QSslCertificate& certificate : system) {
        QVERIFY(trusted.contains(certificate));
    }
    // Only the API requests carry the pin: other TLS connections of the process keep the default.
    QVERIFY(!QSslConfiguration::defaultConfiguration().caCertificates().contains(pinned.first()));

    QTest::ignoreMessage(QtCriticalMsg, "NetworkApi: Cannot read the certificate authority of the API host");
    NetworkApi broken(QStringLiteral("127.0.0.1:1"), "-----BEGIN CERTIFICATE-----\nnot base64\n");
    QCOMPARE(broken.sslConfiguration().caCertificates(), QSslConfiguration::defaultConfiguration().caCertificates());
}

void TestNetworkApi::parsedFields()
{
    const Servers servers = NetworkApi::parseServerList(QString::fromUtf8(readData(QStringLiteral("feed-mixed.xml"))));
    QCOMPARE(servers.size(), 5);
    struct Expected
    {
        const char* country;
        const char* city;
        const char* ip;
        int capacity;
    };
    const Expected expected[] = {
        { "NL", "Amsterdam", "198.51.100.1", 40 },
        { "SE", "Stockholm", "198.51.100.4", 80 },
        { "", "", "", 0 }, // no attributes: empty texts, capacity 0
        { "NL", "nl Utrecht", "198.51.100.6", -1 }, // the prefix is matched case-sensitively
        { "CH", "Zürich", "198.51.100.7", 56 },
    };
    for (int i = 0; i < servers.size(); ++i) {
        QCOMPARE(servers.at(i).country, QString::fromUtf8(expected[i].country));
        QCOMPARE(servers.at(i).city, QString::fromUtf8(expected[i].city));
        QCOMPARE(servers.at(i).ip, QString::fromUtf8(expected[i].ip));
        QCOMPARE(servers.at(i).capacity, expected[i].capacity);
    }

    // Every occurrence of the prefix goes; without a country the city is left alone.
    QCOMPARE(Server(0, "NL", "NL NL Amsterdam", "n", "ip", 0).city, QStringLiteral("Amsterdam"));
    QCOMPARE(Server(0, "", "New York", "n", "ip", 0).city, QStringLiteral("New York"));
}

QTEST_GUILESS_MAIN(TestNetworkApi)
#include "tst_networkapi.moc"
