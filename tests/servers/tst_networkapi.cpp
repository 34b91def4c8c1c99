#include "../support/httpsserver.h"
#include "servers/networkapi.h"

#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QtTest>

namespace {

QByteArray utf16(const QString& text)
{
    return QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

const QByteArray goodGeoIp = R"({"data":{"ip":"192.0.2.2","iso_code":"DE"}})";

} // namespace

Q_DECLARE_METATYPE(Response)

class TestNetworkApi : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void pinAddsToSystemTrust();
    void parsedFields();

private:
    const QByteArray testCa = readData("test-ca.pem");
};

void TestNetworkApi::replies_data()
{
    QTest::addColumn<QString>("tls"); // "" the test CA pinned, or another CA, or no pin, or the host in capitals
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("result"); // address, country | names of the servers
    const QByteArray geo = "/v3/geoip", feed = "/feeds/serverinfo.xml";
    const Response stream { 200, QByteArray(1024, ' '), -2, 6 * 1024 };
    const QByteArray mixed = readData("feed-mixed.xml"), hidden = readData("feed-hidden.xml");
    const QString five = "192.0.2.2,DE|nl-ams-01 se-sto-01 bare nl-utr-01 ch-zrh-01";
    // Other encodings are read as UTF-8 whatever the declaration says.
    const QByteArray wide = utf16(QString::fromUtf8(mixed).replace("UTF-8", "UTF-16"));
    // clang-format off
    QTest::newRow("IPv4") << "" << geo << Response { 200, R"({"data":{"ip":"192.0.2.2","iso_code":"DE","city":"x"},"meta":1})" } << "192.0.2.2,DE|";
    QTest::newRow("IPv6") << "" << geo << Response { 200, R"({"data":{"ip":"2001:db8::5","iso_code":"NL"}})" } << "2001:db8::5,NL|";
    QTest::newRow("malformed JSON") << "" << geo << Response { 200, R"({"data":{"ip":"192.0.2.2","iso_code":"DE")" } << ",|";
    QTest::newRow("UTF-16 JSON") << "" << geo << Response { 200, utf16(goodGeoIp) } << ",|";
    QTest::newRow("members missing") << "" << geo << Response { 200, R"({"data":{"address":"192.0.2.2"}})" } << ",|";
    QTest::newRow("HTTP 500") << "" << geo << Response { 500, "broken" } << "0.0.0.0,|";
    // Cut at the bound, which only the warning tells apart from the reply timeout.
    QTest::newRow("enormous body") << "" << geo << stream << "0.0.0.0,|";
    QTest::newRow("enormous length") << "" << geo << Response { 200, "{\"data\":", qint64(1) << 40 } << "0.0.0.0,|";
    QTest::newRow("never ends") << "" << geo << Response { 200, "{", 1000 } << "0.0.0.0,|";
    QTest::newRow("hidden and offline") << "" << feed << Response { 200, mixed } << five;
    QTest::newRow("none left") << "" << feed << Response { 200, hidden } << "192.0.2.2,DE|";
    QTest::newRow("truncated") << "" << feed << Response { 200, readData("feed-truncated.xml") } << "192.0.2.2,DE|nl-ams-01";
    QTest::newRow("UTF-16") << "" << feed << Response { 200, wide } << "192.0.2.2,DE|";
    QTest::newRow("HTTP 404") << "" << feed << Response { 404, "gone" } << "192.0.2.2,DE|";
    // A reply reports its host in lower case: the two replies must still be told apart.
    QTest::newRow("host in capitals") << "capitals" << feed << Response { 200, mixed } << five;
    QTest::newRow("another CA rejected") << "other-server" << geo << Response() << "0.0.0.0,|";
    QTest::newRow("no pin: system trust alone") << "no pin" << geo << Response() << "0.0.0.0,|";
    // clang-format on
}

// One server list request, which asks for the address as well: one path answers the row's response.
void TestNetworkApi::replies()
{
    QFETCH(QString, tls);
    QFETCH(QByteArray, path);
    QFETCH(Response, response);
    QFETCH(QString, result);
    HttpsServer server(tls == "other-server" ? tls : "test-server");
    server.responses = { { "/v3/geoip", { 200, goodGeoIp } }, { "/feeds/serverinfo.xml", { 200, "<x/>" } } };
    server.responses.insert(path, response);
    const QString host = tls == "capitals" ? "LOCALHOST:" : "127.0.0.1:";
    NetworkApi api(host + QString::number(server.serverPort()), tls == "no pin" ? QByteArray() : testCa);
    api.setReplyTimeout(1500);
    QSignalSpy ip(&api, &NetworkApi::requestCurrentIpAddressFinished);
    QSignalSpy list(&api, &NetworkApi::requestServerListFinished);

    if (QByteArray(QTest::currentDataTag()).startsWith("enormous")) {
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable("NetworkApi: Network request '" + api.geoIpUrl() + "' exceeds 4194304 bytes"));
    }
    api.requestServerList();
    QTRY_VERIFY_WITH_TIMEOUT(ip.count() == 1 && list.count() == 1, 20000);
    QStringList names;
    const Servers servers = qvariant_cast<Servers>(list.at(0).at(0));
    for (int i = 0; i < servers.size(); ++i) {
        QCOMPARE(servers.at(i).id, i); // consecutive over the accepted servers only
        names << servers.at(i).name;
    }
    QCOMPARE(ip.at(0).at(0).toString() + ',' + ip.at(0).at(1).toString() + '|' + names.join(' '), result);
    // A rejected certificate means no request was sent at all.
    const QStringList accepting = server.requests.filter("\r\naccept: application/json\r\n", Qt::CaseInsensitive);
    QCOMPARE(accepting.size() + server.requests.size(), tls.isEmpty() || tls == "capitals" ? 3 : 0);
    QVERIFY(accepting.value(0, "GET /v3/geoip ").startsWith("GET /v3/geoip "));
    // Exactly one result per reply, also for an aborted one.
    QTest::qWait(100);
    QCOMPARE(ip.count() + list.count(), 2);
}

void TestNetworkApi::pinAddsToSystemTrust()
{
    const QList<QSslCertificate> trusted = NetworkApi("127.0.0.1:1", testCa).sslConfiguration().caCertificates();
    const QList<QSslCertificate> wanted = QSslConfiguration::systemCaCertificates() + QSslCertificate::fromData(testCa);
    QVERIFY(QSet<QSslCertificate>(trusted.begin(), trusted.end())
                .contains(QSet<QSslCertificate>(wanted.begin(), wanted.end())));
    // Only the API requests carry the pin: other TLS connections of the process keep the default.
    QVERIFY(!QSslConfiguration::defaultConfiguration().caCertificates().contains(wanted.last()));
    QTest::ignoreMessage(QtCriticalMsg, "NetworkApi: Cannot read the certificate authority of the API host");
    NetworkApi broken("127.0.0.1:1", "-----BEGIN CERTIFICATE-----\nnot base64\n");
    QCOMPARE(broken.sslConfiguration().caCertificates(), QSslConfiguration::defaultConfiguration().caCertificates());
}

void TestNetworkApi::parsedFields()
{
    QStringList got;
    for (const Server& server : NetworkApi::parseServerList(QString::fromUtf8(readData("feed-mixed.xml")))) {
        got << QStringLiteral("%1|%2|%3|%4").arg(server.country, server.city, server.ip).arg(server.capacity);
    }
    // No attributes: empty texts and capacity 0; the city prefix is matched case-sensitively.
    QCOMPARE(got,
        QStringList({ "NL|Amsterdam|198.51.100.1|40", "SE|Stockholm|198.51.100.4|80", "|||0",
            "NL|nl Utrecht|198.51.100.6|-1", "CH|Zürich|198.51.100.7|56" }));
    // Every occurrence of the prefix goes; without a country the city is left alone.
    QCOMPARE(Server(0, "NL", "NL NL Amsterdam", "n", "ip", 0).city, QStringLiteral("Amsterdam"));
    QCOMPARE(Server(0, "", "New York", "n", "ip", 0).city, QStringLiteral("New York"));
}

QTEST_GUILESS_MAIN(TestNetworkApi)
#include "tst_networkapi.moc"
