// State names and the OpenVPN configuration built from the template.
#include "deploymentconfig.h"
#include "openvpn/openvpnclient.h"
#include "service/servicecontroller.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtTest>

class TestOpenVpnConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stateName_data();
    void stateName();
    void protocolName();
    void configFile_data();
    void configFile();
    void keysFromDeployment();
    void secondFileReplacesFirst();
    void fileGoesWithClient();

private:
    static QByteArray read(const QString& path);
    ServiceController* controller = nullptr;
};

void TestOpenVpnConfig::initTestCase()
{
    controller = new ServiceController(this);
}

QByteArray TestOpenVpnConfig::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

void TestOpenVpnConfig::stateName_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << QStringLiteral("Disconnected");
    QTest::newRow("1") << 1 << QStringLiteral("Connecting");
    QTest::newRow("2") << 2 << QStringLiteral("Disconnecting");
    QTest::newRow("3") << 3 << QStringLiteral("Connected");
    QTest::newRow("4") << 4 << QStringLiteral("Error");
    QTest::newRow("5") << 5 << QStringLiteral("Unknown");
    QTest::newRow("6") << 6 << QStringLiteral("Unknown");
    QTest::newRow("-1") << -1 << QStringLiteral("Unknown");
}

void TestOpenVpnConfig::stateName()
{
    QFETCH(int, state);
    QFETCH(QString, name);
    QCOMPARE(VpnClient::stateName(state, false), name);
    QCOMPARE(VpnClient::stateName(state, true), QLatin1Char('\'') + name + QLatin1Char('\''));
}

void TestOpenVpnConfig::protocolName()
{
    QCOMPARE(OpenVpnClient::protocolName(true, false), QStringLiteral("UDP"));
    QCOMPARE(OpenVpnClient::protocolName(true, true), QStringLiteral("udp"));
    QCOMPARE(OpenVpnClient::protocolName(false, false), QStringLiteral("TCP"));
    QCOMPARE(OpenVpnClient::protocolName(false, true), QStringLiteral("tcp"));
}

void TestOpenVpnConfig::configFile_data()
{
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QStringList>("additional");
    QTest::newRow("UDP") << true << QStringLiteral("remote 10.0.0.1 88 udp")
                         << QStringList { QStringLiteral("register-dns"), QStringLiteral("dhcp-renew"),
                                QStringLiteral("block-outside-dns"), QStringLiteral("mute-replay-warnings"),
                                QStringLiteral("replay-window 256") };
    QTest::newRow("TCP") << false << QStringLiteral("remote 10.0.0.1 8080 tcp")
                         << QStringList { QStringLiteral("register-dns"), QStringLiteral("dhcp-renew"),
                                QStringLiteral("block-outside-dns") };
}

void TestOpenVpnConfig::configFile()
{
    QFETCH(bool, udp);
    QFETCH(QString, remote);
    QFETCH(QStringList, additional);
    OpenVpnClient client;
    client.setServer(QStringLiteral("10.0.0.1"), udp, false);
    const QString path = client.createConfigFile();
    QVERIFY(!path.isEmpty());
    QVERIFY(QFileInfo(path).isAbsolute());
    const QByteArray bytes = read(path);

    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    QVERIFY(!bytes.contains('<' + QByteArray("SERVER>")));
    QVERIFY(!bytes.contains("<PORT>"));
    QVERIFY(!bytes.contains("<PROTOCOL>"));
    QVERIFY(!bytes.contains("<ADDITIONAL_DATA>"));

    const QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    const QStringList head { QStringLiteral("client"), QStringLiteral("dev tun"),
        QStringLiteral("management 127.0.0.1 61973"), remote, QStringLiteral("auth-user-pass"),
        QStringLiteral("auth-nocache"), QStringLiteral("nobind"), QStringLiteral("auth SHA256"),
        QStringLiteral("cipher AES-256-GCM"), QStringLiteral("tls-client"), QStringLiteral("verb 3"),
        QStringLiteral("tls-cipher TLS-ECDHE-ECDSA-WITH-AES-256-GCM-SHA384"),
        QStringLiteral("remote-cert-eku \"TLS Web Server Authentication\""), QStringLiteral("persist-key"),
        QStringLiteral("persist-tun"), QStringLiteral("compress lz4-v2"), QString() };
    QCOMPARE(lines.mid(0, head.size()), head);
    QCOMPARE(lines.mid(head.size(), additional.size()), additional);
    const int after = head.size() + additional.size();
    QCOMPARE(lines.mid(after, 7),
        (QStringList { QString(), QString(), QStringLiteral("<tls-crypt>"), QStringLiteral("#"),
            QStringLiteral("# 2048 bit OpenVPN static key"), QStringLiteral("#"),
            QStringLiteral("-----BEGIN OpenVPN Static key V1-----") }));
    const int keyEnd = lines.indexOf(QStringLiteral("-----END OpenVPN Static key V1-----"));
    QCOMPARE(keyEnd, after + 6 + 17);
    for (int i = after + 7; i < keyEnd; ++i) {
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(lines.at(i)).hasMatch(),
            qPrintable(lines.at(i)));
    }
    QCOMPARE(lines.mid(keyEnd + 1, 5),
        (QStringList { QString(), QStringLiteral("</tls-crypt>"), QString(), QStringLiteral("<ca>"),
            QStringLiteral("-----BEGIN CERTIFICATE-----") }));
    const int caEnd = lines.indexOf(QStringLiteral("-----END CERTIFICATE-----"));
    QVERIFY(caEnd > keyEnd + 6);
    QCOMPARE(lines.mid(caEnd + 1),
        (QStringList { QString(), QStringLiteral("</ca>"), QString() /* after the last CR LF */ }));
}

void TestOpenVpnConfig::keysFromDeployment()
{
    OpenVpnClient client;
    client.setServer(QStringLiteral("198.51.100.1"), true, false);
    const QString text = QString::fromLatin1(read(client.createConfigFile()));
    // The blocks carry the deployment's key and certificate, whatever comments surround them there.
    const auto block = [](const QString& source, const QString& begin, const QString& end) {
        const int from = source.indexOf(begin);
        const int to = source.indexOf(end, from);
        return from < 0 || to < 0 ? QString() : source.mid(from, to + end.size() - from);
    };
    const QString key = block(QString::fromLatin1(Deployment::openVpnTlsCryptKey),
        QStringLiteral("-----BEGIN OpenVPN Static key V1-----"), QStringLiteral("-----END OpenVPN Static key V1-----"));
    const QString ca = block(QString::fromLatin1(Deployment::openVpnCaPem),
        QStringLiteral("-----BEGIN CERTIFICATE-----"), QStringLiteral("-----END CERTIFICATE-----"));
    QVERIFY(!key.isEmpty());
    QVERIFY(!ca.isEmpty());
    QVERIFY(text.contains(QString(key).replace(QStringLiteral("\n"), QStringLiteral("\r\n"))));
    QVERIFY(text.contains(QString(ca).replace(QStringLiteral("\n"), QStringLiteral("\r\n"))));
}

void TestOpenVpnConfig::secondFileReplacesFirst()
{
    OpenVpnClient client;
    client.setServer(QStringLiteral("198.51.100.1"), true, false);
    const QString first = client.createConfigFile();
    QVERIFY(QFileInfo::exists(first));
    client.setServer(QStringLiteral("198.51.100.2"), false, false);
    const QString second = client.createConfigFile();
    QVERIFY(QFileInfo::exists(second));
    QVERIFY(first != second);
    QVERIFY(!QFileInfo::exists(first));
    QVERIFY(read(second).contains("remote 198.51.100.2 8080 tcp\r\n"));
}

void TestOpenVpnConfig::fileGoesWithClient()
{
    QString path;
    {
        OpenVpnClient client;
        client.setServer(QStringLiteral("198.51.100.1"), true, false);
        path = client.createConfigFile();
        QVERIFY(QFileInfo::exists(path));
    }
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_GUILESS_MAIN(TestOpenVpnConfig)
#include "tst_openvpnconfig.moc"
