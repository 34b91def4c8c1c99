#include "../app/testkit.h"

#include "connection/networkinterfaces.h"

#include <QTemporaryDir>

// Adapter discovery from Windows "route print" listings, read directly and through a route stand-in.
class TestNetworkInterfaces : public QObject
{
    Q_OBJECT

    QTemporaryDir bin;
    NetworkInterfaces interfaces; // one for all rows: each discovery starts from scratch
    const QString one = "12:TAP-Windows Adapter V9|", two = "19:TAP-Windows Adapter V9|23:TAP-Windows Adapter V9 #2|";

private slots:
    void parsesListings_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one adapter") << fixture("connection/route-one-adapter.txt") << one;
        QTest::newRow("two adapters") << fixture("connection/route-two-adapters.txt") << two;
        QTest::newRow("unix line ends") << fixture("connection/route-two-adapters.txt").remove('\r') << two;
        QTest::newRow("other drivers") << fixture("connection/route-other-drivers.txt") << QString();
        QTest::newRow("lines to skip") << fixture("connection/route-bad-lines.txt")
                                       << QString("27:TAP-Windows Adapter V9 #2|28:TAP-Windows Adapter V9 #9|");
        QTest::newRow("no line end") << " 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9" << one;
        // Binary garbage: only a line that begins with a number gives an adapter.
        QTest::newRow("garbage") << QString::fromUtf8(
            "\x01\xff...\xfe......TAP-Windows Adapter V9\r\n 7...\x80\xc3......TAP-Windows Adapter V9 "
            "#2\n-1......TAP-Windows Adapter V9")
                                 << QString("7:TAP-Windows Adapter V9 #2|");
        QTest::newRow("error text") << "The requested operation requires elevation.\r\n" << QString();
    }
    void parsesListings()
    {
        QFETCH(QString, listing);
        QFETCH(QString, expected);
        QCOMPARE(describe(NetworkInterfaces::parseRouteListing(listing)), expected);
    }

    void discover_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("expected");
        const QString line = "echo ' 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9'";
        QTest::newRow("asked for print") << "[ \"$*\" = print ] && cat '" VPN_TEST_DATA_DIR
                                            "/connection/route-two-adapters.txt'"
                                         << two;
        QTest::newRow("standard error") << line + " >&2" << QString();
        QTest::newRow("nul bytes")
            << "printf '\\377\\0\\r\\n 12...\\0\\237 ......TAP-Windows Adapter V9\\001\\r\\n\\303\\0 13...'"
            << QString("12:TAP-Windows Adapter V9\u0001|");
        QTest::newRow("failing") << "exit 3" << QString();
        // What a hanging route printed before the limit still counts.
        QTest::newRow("hanging") << line + "\nexec sleep 60" << one;
        QTest::newRow("missing") << "" << QString();
    }
    void discover()
    {
        QFETCH(QString, route);
        QFETCH(QString, expected);
        qputenv("PATH", bin.path().toLocal8Bit() + ":/usr/bin:/bin"); // Debian keeps net-tools' route in /usr/sbin
        writeScript(bin.filePath("route"), route.toUtf8());
        interfaces.setRouteTimeoutMs(2000);
        const QDeadlineTimer limit(20000);
        QSignalSpy discovered(&interfaces, &NetworkInterfaces::discovered);
        interfaces.discover();
        QVERIFY(discovered.wait(20000) && !limit.hasExpired());
        QCOMPARE(describe(interfaces.adapters()), expected);
    }
};

QTEST_GUILESS_MAIN(TestNetworkInterfaces)
#include "tst_networkinterfaces.moc"
