// DnsManager's entries for dns.exe, built from registry data in the stand-in registry and the
// development host's wmic stand-in, which reads the same registry.
#include "../service/logcapture.h"
#include "app/registry.h"
#include "connection/dnsmanager.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString classKey = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}");
const QString networkKey = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}");
const QString tcpipKey
    = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces");
const QString tcpip6Key
    = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Interfaces");
const QString absent = QStringLiteral("<absent>");

const QString guidA = QStringLiteral("{1A000000-0000-0000-0000-00000000000A}");
const QString guidB = QStringLiteral("{2B000000-0000-0000-0000-00000000000B}");
const QString guidC = QStringLiteral("{3C000000-0000-0000-0000-00000000000C}");

// One network connection as the registry knows it; a field list keeps the rows short:
// "GUID|name|PnP instance|IPv4 NameServer|IPv6 NameServer|device id|present"
struct Connection
{
    QString guid, name, instance, ipv4, ipv6, deviceId;
    bool present = true;
};

Connection connectionFrom(const QString& row)
{
    const QStringList f = row.split(QLatin1Char('|'));
    Q_ASSERT(f.size() == 7);
    return { f.at(0), f.at(1), f.at(2), f.at(3), f.at(4), f.at(5), f.at(6) == QLatin1String("present") };
}

void setValue(const QString& key, const QString& name, const QString& value)
{
    if (value != absent) {
        Registry::openKey(key)->setValue(name, value);
    }
}

} // namespace

class TestDnsManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void entriesFromRegistry_data();
    void entriesFromRegistry();
    void logLinesShowEveryConnection();
    void familiesOutOfStepGiveNoEntries();
    void withoutWmicNothingIsKnown();
    void toolPathIsBesideTheClient();

private:
    void seed(const QStringList& rows);
    QTemporaryDir dataHome;
    QByteArray pathWithStandins;
};

void TestDnsManager::initTestCase()
{
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    pathWithStandins = QFile::encodeName(QDir::cleanPath(QStringLiteral(VPN_TEST_DATA_DIR "/../../devhost/bin"))) + ':'
        + qgetenv("PATH");
    qputenv("PATH", pathWithStandins);
}

void TestDnsManager::init()
{
    QDir(Registry::standInFolder()).removeRecursively();
    qputenv("PATH", pathWithStandins);
}

void TestDnsManager::seed(const QStringList& rows)
{
    int adapter = 0;
    for (const QString& row : rows) {
        const Connection c = connectionFrom(row);
        if (c.present) {
            // The adapter class entry is what wmic reports the GUID from.
            const QString adapterKey = QStringLiteral("%1\\%2").arg(classKey).arg(adapter++, 4, 10, QLatin1Char('0'));
            setValue(adapterKey, QStringLiteral("MatchingDeviceId"), c.deviceId);
            setValue(adapterKey, QStringLiteral("NetCfgInstanceId"), c.guid);
        }
        const QString connection = QStringLiteral("%1\\%2\\Connection").arg(networkKey, c.guid);
        setValue(connection, QStringLiteral("Name"), c.name);
        setValue(connection, QStringLiteral("PnPInstanceId"), c.instance);
        // The key exists in both families even without a value, as on Windows.
        Registry::openKey(tcpipKey + QLatin1Char('\\') + c.guid)->setValue(QStringLiteral("EnableDHCP"), 1);
        Registry::openKey(tcpip6Key + QLatin1Char('\\') + c.guid)->setValue(QStringLiteral("EnableDHCP"), 1);
        setValue(tcpipKey + QLatin1Char('\\') + c.guid, QStringLiteral("NameServer"), c.ipv4);
        setValue(tcpip6Key + QLatin1Char('\\') + c.guid, QStringLiteral("NameServer"), c.ipv6);
    }
}

void TestDnsManager::entriesFromRegistry_data()
{
    QTest::addColumn<QStringList>("connections");
    QTest::addColumn<QStringList>("userEntries");
    QTest::addColumn<QStringList>("vpnEntries"); // for a push of 10.8.0.1 and fd00:8::1
    QTest::addColumn<QStringList>("ipv4OnlyEntries"); // for a push of 10.8.0.1 alone
    QTest::addColumn<QList<bool>>("vpnFlags");

    const QString eth = QStringLiteral("|Ethernet|PCI\\VEN_8086\\1|");
    const QString pci = QStringLiteral("|pci\\ven_8086&dev_100e|present");
    QTest::newRow("two IPv4 servers, no IPv6")
        << QStringList { guidA + eth + "192.0.2.53,192.0.2.54|" + absent + pci }
        << QStringList { guidA + "@192.0.2.53,192.0.2.54" } << QStringList { guidA + "@10.8.0.1,fd00:8::1" }
        << QStringList { guidA + "@10.8.0.1," } << QList<bool> { false };
    QTest::newRow("no static servers end in @")
        << QStringList { guidA + eth + absent + "|" + absent + pci, guidB + eth + "||" + pci.mid(1) }
        << QStringList { guidA + "@", guidB + "@" }
        << QStringList { guidA + "@10.8.0.1,fd00:8::1", guidB + "@10.8.0.1,fd00:8::1" }
        << QStringList { guidA + "@10.8.0.1,", guidB + "@10.8.0.1," } << QList<bool> { false, false };
    QTest::newRow("IPv4 then IPv6") << QStringList { guidA + eth + "192.0.2.53,192.0.2.54|2001:db8::53" + pci }
                                    << QStringList { guidA + "@192.0.2.53,192.0.2.54,2001:db8::53" }
                                    << QStringList { guidA + "@10.8.0.1,fd00:8::1" }
                                    << QStringList { guidA + "@10.8.0.1," } << QList<bool> { false };
    QTest::newRow("IPv6 only") << QStringList { guidA + eth + "|2001:db8::53,2001:db8::54" + pci }
                               << QStringList { guidA + "@2001:db8::53,2001:db8::54" }
                               << QStringList { guidA + "@10.8.0.1,fd00:8::1" } << QStringList { guidA + "@10.8.0.1," }
                               << QList<bool> { false };
    QTest::newRow("trailing comma keeps its empty server")
        << QStringList { guidA + eth + "192.0.2.53,192.0.2.54,|" + pci }
        << QStringList { guidA + "@192.0.2.53,192.0.2.54," } << QStringList { guidA + "@10.8.0.1,fd00:8::1" }
        << QStringList { guidA + "@10.8.0.1," } << QList<bool> { false };
    QTest::newRow("kernel debugger, nameless and absent adapters never appear")
        << QStringList { guidA + "|Ethernet (Kernel Debugger)|ROOT\\KDNIC\\0000|192.0.2.1||root\\kdnic|present",
               guidB + "|" + absent + "|PCI\\VEN_8086\\2|192.0.2.2|" + pci, guidC + eth + "192.0.2.3||pci|absent" }
        << QStringList() << QStringList() << QStringList() << QList<bool>();
    QTest::newRow("the TAP adapter's connection is flagged and still gets an entry")
        << QStringList { guidB + "|Local Area Connection|ROOT\\NET\\0000|||tap0901|present",
               guidA + eth + "192.0.2.53|" + pci }
        << QStringList { guidA + "@192.0.2.53", guidB + "@" }
        << QStringList { guidA + "@10.8.0.1,fd00:8::1", guidB + "@10.8.0.1,fd00:8::1" }
        << QStringList { guidA + "@10.8.0.1,", guidB + "@10.8.0.1," } << QList<bool> { false, true };
    QTest::newRow("a device id only close to the TAP driver's is not the VPN's")
        << QStringList { guidA + "|Local Area Connection|ROOT\\NET\\0000|||TAP0901|present" }
        << QStringList { guidA + "@" } << QStringList { guidA + "@10.8.0.1,fd00:8::1" }
        << QStringList { guidA + "@10.8.0.1," } << QList<bool> { false };
}

void TestDnsManager::entriesFromRegistry()
{
    QFETCH(QStringList, connections);
    QFETCH(QStringList, userEntries);
    QFETCH(QStringList, vpnEntries);
    QFETCH(QStringList, ipv4OnlyEntries);
    QFETCH(QList<bool>, vpnFlags);
    seed(connections);

    DnsManager manager;
    manager.refresh();
    QCOMPARE(manager.userDnsSettings(), userEntries);
    QCOMPARE(manager.vpnDnsSettings("10.8.0.1", "fd00:8::1"), vpnEntries);
    QCOMPARE(manager.vpnDnsSettings("10.8.0.1", QString()), ipv4OnlyEntries);
    QList<bool> flags;
    for (const NetworkInterface& entry : manager.interfaces()) {
        flags.append(entry.vpnConnection);
    }
    QCOMPARE(flags, vpnFlags);

    // Every refresh starts over: a connection that went away is gone from the entries.
    QDir(Registry::standInFolder()).removeRecursively();
    manager.refresh();
    QCOMPARE(manager.userDnsSettings(), QStringList());
}

void TestDnsManager::logLinesShowEveryConnection()
{
    seed({ guidB + "|Local Area Connection|ROOT\\NET\\0000|||tap0901|present",
        guidA + "|Ethernet|PCI\\1|192.0.2.53,192.0.2.54|2001:db8::53|pci|present" });
    LogCapture log;
    DnsManager manager;
    manager.refresh();
    QCOMPARE(log.count("DnsManager: ID: " + guidA
                 + ", name: 'Ethernet', VPN connection: 'false', IPv4 DNS: (192.0.2.53, 192.0.2.54), IPv6 DNS: "
                   "(2001:db8::53)"),
        1);
    QCOMPARE(log.count("DnsManager: ID: " + guidB
                 + ", name: 'Local Area Connection', VPN connection: 'true', IPv4 DNS: (), IPv6 DNS: ()"),
        1);
}

void TestDnsManager::familiesOutOfStepGiveNoEntries()
{
    seed({ guidA + "|Ethernet|PCI\\1|192.0.2.53||pci|present", guidB + "|Ethernet 2|PCI\\2|192.0.2.54||pci|present" });
    Registry::openKey(tcpip6Key)->remove(guidB);
    LogCapture log;
    DnsManager manager;
    manager.refresh();
    QCOMPARE(log.count("DnsManager: DNS internal issue: Ipv4/Ipv6 mismatch"), 1);
    QCOMPARE(manager.userDnsSettings(), QStringList());
    QCOMPARE(manager.vpnDnsSettings("10.8.0.1", "fd00:8::1"), QStringList());
}

void TestDnsManager::withoutWmicNothingIsKnown()
{
    seed({ guidA + "|Ethernet|PCI\\1|192.0.2.53||pci|present" });
    qputenv("PATH", "/nonexistent");
    LogCapture log;
    DnsManager manager;
    manager.refresh();
    QCOMPARE(manager.userDnsSettings(), QStringList());
    QCOMPARE(log.count("ChildProcess: Error occured: failed to start"), 1);
}

void TestDnsManager::toolPathIsBesideTheClient()
{
    QCOMPARE(DnsManager::dnsToolPath(), QCoreApplication::applicationDirPath() + "/dns.exe");
}

QTEST_GUILESS_MAIN(TestDnsManager)
#include "tst_dnsmanager.moc"
