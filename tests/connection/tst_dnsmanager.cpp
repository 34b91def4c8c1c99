// DnsManager's entries for dns.exe from registry data in the stand-in registry, with the
// development host's wmic stand-in reading the same registry.
#include "../service/logcapture.h"
#include "app/registry.h"
#include "connection/dnsmanager.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString hklm = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\");
const QString netClass = QStringLiteral("{4D36E972-E325-11CE-BFC1-08002BE10318}");
const QString tcpip4 = hklm + QStringLiteral("Services\\Tcpip\\Parameters\\Interfaces\\");
const QString tcpip6 = hklm + QStringLiteral("Services\\Tcpip6\\Parameters\\Interfaces\\");
const QString A = QStringLiteral("{1A000000-0000-0000-0000-00000000000A}");
const QString B = QStringLiteral("{2B000000-0000-0000-0000-00000000000B}");
const QString C = QStringLiteral("{3C000000-0000-0000-0000-00000000000C}");
const QString D = QStringLiteral("{4D000000-0000-0000-0000-00000000000D}");

void setUnlessAbsent(const QString& key, const QString& name, const QString& value)
{
    if (value != QLatin1String("<absent>")) {
        Registry::openKey(key)->setValue(name, value);
    }
}

// "GUID|name|PnP instance|IPv4 NameServer|IPv6 NameServer|device id|present or absent adapter"
void seed(const QStringList& rows)
{
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList f = rows.at(i).split(QLatin1Char('|'));
        if (f.at(6) == QLatin1String("present")) { // wmic reports the GUIDs of the adapter entries
            const QString adapter = hklm + "Control\\Class\\" + netClass + QString::asprintf("\\%04d", i);
            setUnlessAbsent(adapter, "MatchingDeviceId", f.at(5));
            setUnlessAbsent(adapter, "NetCfgInstanceId", f.at(0));
        }
        const QString connection = hklm + "Control\\Network\\" + netClass + "\\" + f.at(0) + "\\Connection";
        setUnlessAbsent(connection, "Name", f.at(1));
        setUnlessAbsent(connection, "PnPInstanceId", f.at(2));
        Registry::openKey(tcpip4 + f.at(0))->setValue("EnableDHCP", 1);
        Registry::openKey(tcpip6 + f.at(0))->setValue("EnableDHCP", 1);
        setUnlessAbsent(tcpip4 + f.at(0), "NameServer", f.at(3));
        setUnlessAbsent(tcpip6 + f.at(0), "NameServer", f.at(4));
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
    void noEntriesWhenTheRegistryOrWmicFails();

private:
    QTemporaryDir dataHome;
    QByteArray path;
};

void TestDnsManager::initTestCase()
{
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    path = QFile::encodeName(QDir::cleanPath(VPN_TEST_DATA_DIR "/../../devhost/bin")) + ':' + qgetenv("PATH");
}

void TestDnsManager::init()
{
    QDir(Registry::standInFolder()).removeRecursively();
    qputenv("PATH", path);
}

void TestDnsManager::entriesFromRegistry_data()
{
    QTest::addColumn<QStringList>("connections");
    QTest::addColumn<QStringList>("userEntries");
    QTest::addColumn<QStringList>("vpnEntries"); // a push of 10.8.0.1 alone
    QTest::addColumn<QString>("logLine");

    const QString pci = QStringLiteral("|pci\\ven_8086&dev_100e|present");
    QTest::newRow("server lists") << QStringList { A + "|Ethernet|PCI\\1|192.0.2.53,192.0.2.54|<absent>" + pci,
        B + "|Ethernet 2|PCI\\2|192.0.2.53|2001:db8::53,2001:db8::54" + pci,
        C + "|Ethernet 3|PCI\\3|<absent>|<absent>" + pci, D + "|Ethernet 4|PCI\\4|192.0.2.53,192.0.2.54,|" + pci }
                                  << QStringList { A + "@192.0.2.53,192.0.2.54",
                                         B + "@192.0.2.53,2001:db8::53,2001:db8::54", C + "@",
                                         D + "@192.0.2.53,192.0.2.54," }
                                  << QStringList { A + "@10.8.0.1,", B + "@10.8.0.1,", C + "@10.8.0.1,",
                                         D + "@10.8.0.1," }
                                  << "DnsManager: ID: " + B
            + ", name: 'Ethernet 2', VPN connection: 'false', IPv4 DNS: (192.0.2.53), IPv6 DNS: (2001:db8::53, "
              "2001:db8::54)";
    QTest::newRow("kernel debugger, nameless and missing adapters never appear")
        << QStringList { A + "|Ethernet (Kernel Debugger)|ROOT\\KDNIC\\0000|192.0.2.1||root\\kdnic|present",
               B + "|<absent>|PCI\\2|192.0.2.2|" + pci, C + "|Ethernet 3|PCI\\3|192.0.2.3||pci|absent",
               D + "|Ethernet 4|PCI\\4|192.0.2.4|" + pci }
        << QStringList { D + "@192.0.2.4" } << QStringList { D + "@10.8.0.1," }
        << "DnsManager: ID: " + D
            + ", name: 'Ethernet 4', VPN connection: 'false', IPv4 DNS: (192.0.2.4), IPv6 DNS: ()";
    QTest::newRow("the TAP adapter's connection is flagged and still listed")
        << QStringList { A + "|Local Area Connection|ROOT\\NET\\0000|||tap0901|present",
               B + "|Local Area Connection 2|ROOT\\NET\\0001|||TAP0901|present" }
        << QStringList { A + "@", B + "@" } << QStringList { A + "@10.8.0.1,", B + "@10.8.0.1," }
        << "DnsManager: ID: " + A
            + ", name: 'Local Area Connection', VPN connection: 'true', IPv4 DNS: (), IPv6 DNS: ()";
}

void TestDnsManager::entriesFromRegistry()
{
    QFETCH(QStringList, connections);
    QFETCH(QStringList, userEntries);
    QFETCH(QStringList, vpnEntries);
    QFETCH(QString, logLine);
    seed(connections);

    LogCapture log;
    DnsManager manager;
    manager.refresh();
    QCOMPARE(manager.userDnsSettings(), userEntries);
    QCOMPARE(manager.vpnDnsSettings("10.8.0.1", QString()), vpnEntries);
    QCOMPARE(manager.vpnDnsSettings("10.8.0.1", "fd00:8::1").value(0),
        userEntries.at(0).section('@', 0, 0) + "@10.8.0.1,fd00:8::1");
    QCOMPARE(log.count(logLine), 1);
    // Only the TAP driver's exact device id makes a VPN connection.
    QCOMPARE(log.lines().filter("VPN connection: 'true'").size(), connections.filter("|tap0901|").size());

    // Every refresh starts over.
    QDir(Registry::standInFolder()).removeRecursively();
    manager.refresh();
    QCOMPARE(manager.userDnsSettings(), QStringList());
}

void TestDnsManager::noEntriesWhenTheRegistryOrWmicFails()
{
    seed({ A + "|Ethernet|PCI\\1|192.0.2.53||pci|present", B + "|Ethernet 2|PCI\\2|192.0.2.54||pci|present" });
    LogCapture log;
    DnsManager manager;
    Registry::openKey(tcpip6 + B)->remove(QString());
    manager.refresh();
    QCOMPARE(log.count("DnsManager: DNS internal issue: Ipv4/Ipv6 mismatch"), 1);
    QCOMPARE(manager.userDnsSettings(), QStringList());

    Registry::openKey(tcpip6 + B)->setValue("NameServer", "");
    manager.refresh();
    QCOMPARE(manager.userDnsSettings().size(), 2);
    qputenv("PATH", "/nonexistent");
    manager.refresh();
    QCOMPARE(manager.userDnsSettings(), QStringList());
}

QTEST_GUILESS_MAIN(TestDnsManager)
#include "tst_dnsmanager.moc"
