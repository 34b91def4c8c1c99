#include "connection/networkinterfaces.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString fixture(const QString& name)
{
    QFile file(QStringLiteral(VPN_TEST_DATA_DIR "/connection/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", qPrintable(name));
    }
    return QString::fromUtf8(file.readAll());
}

QString describe(const NetworkAdapters& adapters)
{
    QStringList parts;
    for (const NetworkAdapter& adapter : adapters) {
        parts << QStringLiteral("%1:%2").arg(adapter.index).arg(adapter.name);
    }
    return parts.join(QLatin1Char('|'));
}

void writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
}

} // namespace

class TestNetworkInterfaces : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parsesListings_data();
    void parsesListings();
    void survivesBinaryGarbage();

    void discoverRunsRoutePrint();
    void discoverWithoutRouteFindsNothing();
    void discoverStopsAHangingRouteAtTheLimit();
    void logsAdapters();

private:
    QByteArray originalPath;
    QTemporaryDir bin;
};

void TestNetworkInterfaces::init()
{
    originalPath = qgetenv("PATH");
    QVERIFY(bin.isValid());
    // The fake route first; no real one (Debian keeps net-tools' in /usr/sbin).
    qputenv("PATH", bin.path().toLocal8Bit() + ":/usr/bin:/bin");
}

void TestNetworkInterfaces::cleanup()
{
    qputenv("PATH", originalPath);
    QFile::remove(bin.filePath(QStringLiteral("route")));
}

void TestNetworkInterfaces::parsesListings_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one adapter") << fixture(QStringLiteral("route-one-adapter.txt"))
                                 << QStringLiteral("12:TAP-Windows Adapter V9");
    QTest::newRow("two adapters in listing order")
        << fixture(QStringLiteral("route-two-adapters.txt"))
        << QStringLiteral("19:TAP-Windows Adapter V9|23:TAP-Windows Adapter V9 #2");
    QTest::newRow("other drivers only") << fixture(QStringLiteral("route-other-drivers.txt")) << QString();
    QTest::newRow("lines that must be skipped")
        << fixture(QStringLiteral("route-bad-lines.txt"))
        << QStringLiteral("27:TAP-Windows Adapter V9 #2|28:TAP-Windows Adapter V9 #9");
    QTest::newRow("unix line ends") << fixture(QStringLiteral("route-two-adapters.txt")).remove(QLatin1Char('\r'))
                                    << QStringLiteral("19:TAP-Windows Adapter V9|23:TAP-Windows Adapter V9 #2");
    QTest::newRow("last line without line end")
        << QStringLiteral(" 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9")
        << QStringLiteral("12:TAP-Windows Adapter V9");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("error text") << QStringLiteral("The requested operation requires elevation.\r\n") << QString();
}

void TestNetworkInterfaces::parsesListings()
{
    QFETCH(QString, listing);
    QFETCH(QString, expected);
    QCOMPARE(describe(NetworkInterfaces::parseRouteListing(listing)), expected);
}

void TestNetworkInterfaces::survivesBinaryGarbage()
{
    // Random bytes around the driver's name: decoded as UTF-8 they may hold anything.
    QRandomGenerator random(20200411);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(64 + int(random.bounded(512)), Qt::Uninitialized);
        for (char& byte : bytes) {
            byte = char(random.bounded(256));
        }
        bytes.insert(int(random.bounded(bytes.size())), "\x01\xff...\xfe......TAP-Windows Adapter V9\r\n\x80");
        const NetworkAdapters adapters = NetworkInterfaces::parseRouteListing(QString::fromUtf8(bytes));
        for (const NetworkAdapter& adapter : adapters) {
            // Only a line that really begins with a number may give an adapter.
            QVERIFY(adapter.index > 0);
            QVERIFY(!adapter.name.isEmpty());
        }
    }
    // Through a real listing, NUL bytes included: they must not cut the listing short.
    static const char raw[] = "\xff\xfe\x00\r\n 12...\x00\x9f ......TAP-Windows Adapter V9\x01\r\n\xc3\x00 13...";
    QFile listing(bin.filePath(QStringLiteral("listing")));
    QVERIFY(listing.open(QIODevice::WriteOnly));
    listing.write(raw, sizeof(raw) - 1);
    listing.close();
    writeScript(bin.filePath(QStringLiteral("route")), "cat \"$(dirname \"$0\")/listing\"");
    NetworkInterfaces interfaces;
    interfaces.discover();
    QCOMPARE(describe(interfaces.adapters()), QStringLiteral("12:TAP-Windows Adapter V9\u0001"));
}

void TestNetworkInterfaces::discoverRunsRoutePrint()
{
    // The listing comes from a real "route" process, which must be asked for "print".
    writeScript(bin.filePath(QStringLiteral("route")),
        QByteArray("[ \"$#\" = 1 ] && [ \"$1\" = print ] || exit 1\ncat '") + VPN_TEST_DATA_DIR
            + "/connection/route-two-adapters.txt'");
    NetworkInterfaces interfaces;
    interfaces.discover();
    QVERIFY(!interfaces.isEmpty());
    QCOMPARE(describe(interfaces.adapters()), QStringLiteral("19:TAP-Windows Adapter V9|23:TAP-Windows Adapter V9 #2"));

    // A second discovery starts from scratch.
    writeScript(bin.filePath(QStringLiteral("route")), "echo ' 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9'");
    interfaces.discover();
    QCOMPARE(describe(interfaces.adapters()), QStringLiteral("12:TAP-Windows Adapter V9"));

    // Only standard output is read.
    writeScript(
        bin.filePath(QStringLiteral("route")), "echo ' 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9' >&2");
    interfaces.discover();
    QVERIFY(interfaces.isEmpty());
}

void TestNetworkInterfaces::discoverWithoutRouteFindsNothing()
{
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toLocal8Bit());
    NetworkInterfaces interfaces;
    interfaces.discover();
    QVERIFY(interfaces.isEmpty());
    QVERIFY(interfaces.adapters().isEmpty());

    qputenv("PATH", bin.path().toLocal8Bit());
    writeScript(bin.filePath(QStringLiteral("route")), "exit 3");
    interfaces.discover();
    QVERIFY(interfaces.isEmpty());
}

void TestNetworkInterfaces::discoverStopsAHangingRouteAtTheLimit()
{
    writeScript(bin.filePath(QStringLiteral("route")),
        QByteArray("echo ' 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9'\nexec sleep 60"));
    NetworkInterfaces interfaces;
    QCOMPARE(NetworkInterfaces::routeTimeoutMs, 30000);
    interfaces.setRouteTimeoutMs(500);
    QElapsedTimer timer;
    timer.start();
    interfaces.discover();
    // Well below the minute the command would take; what it printed before the limit still counts.
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(describe(interfaces.adapters()), QStringLiteral("12:TAP-Windows Adapter V9"));
}

void TestNetworkInterfaces::logsAdapters()
{
    NetworkInterfaces interfaces;
    QCOMPARE(interfaces.objectName(), QStringLiteral("NetworkInterfaces"));
    QTest::ignoreMessage(QtCriticalMsg, "NetworkInterfaces: No VPN interfaces found");
    interfaces.logAdapters();

    writeScript(bin.filePath(QStringLiteral("route")),
        QByteArray("cat '") + VPN_TEST_DATA_DIR + "/connection/route-two-adapters.txt'");
    interfaces.discover();
    QTest::ignoreMessage(
        QtInfoMsg, "NetworkInterfaces: Detected VPN interface, id: 19, name: 'TAP-Windows Adapter V9'");
    QTest::ignoreMessage(
        QtInfoMsg, "NetworkInterfaces: Detected VPN interface, id: 23, name: 'TAP-Windows Adapter V9 #2'");
    interfaces.logAdapters();
}

QTEST_GUILESS_MAIN(TestNetworkInterfaces)
#include "tst_networkinterfaces.moc"
