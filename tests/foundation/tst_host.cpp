#include "../support/testkit.h"

#include "foundation/utils.h"

#include <QTemporaryDir>

// The foundation's helpers.
class TestHost : public QObject
{
    Q_OBJECT

    QTemporaryDir data;

private slots:
    // What may reach a tool or the network lock: exactly what the tools accept, in one form.
    void canonicalAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        // clang-format off
        QTest::newRow("IPv4") << "10.8.0.1" << "10.8.0.1";
        QTest::newRow("IPv6 to lower case, compressed") << "FD00:8:0::1" << "fd00:8::1";
        QTest::newRow("mapped IPv4") << "::ffff:10.8.0.1" << "::ffff:10.8.0.1";
        // An IPv4 address QHostAddress forgives comes back in another form; an IPv6 one must be caught before.
        QTest::newRow("blank after IPv6") << "fd00:8::1 " << "";
        QTest::newRow("no-break space after IPv6") << QString::fromUtf8("fd00:8::1\u00a0") << "";
        QTest::newRow("short IPv4") << "10.1" << "";
        QTest::newRow("scope") << "fe80::1%eth0" << "";
        QTest::newRow("host name") << "vpn.example.com" << "";
        // clang-format on
    }
    void canonicalAddress()
    {
        QFETCH(QString, text);
        QTEST(Utils::canonicalAddress(text), "canonical");
    }

    void helpers()
    {
        QVERIFY(
            Utils::isIpv4Address(" 10.8.0.1 ") && !Utils::isIpv4Address("10.8.0.256") && !Utils::isIpv4Address("::1"));
        QVERIFY(Utils::isIpv6Address("::ffff:10.8.0.1") && !Utils::isIpv6Address("10.8.0.1")
            && !Utils::isIpv6Address("vpn.example.com"));
        writeScript(data.filePath("run-vpn.log"), "old OpenVPN output");
        Utils::createEmptyFile(data.filePath("run-vpn.log"));
        QCOMPARE(QFileInfo(data.filePath("run-vpn.log")).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHost)
#include "tst_host.moc"
