#include "app/registry.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString interfacesKey
    = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces");

// Runs a Python snippet against the development host's side of the stand-in registry.
QString python(const QString& code)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VPNC_REGISTRY_DIR"), Registry::standInFolder());
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import sys; sys.path.insert(0, '%1/devhost/lib')\n").arg(QStringLiteral(VPN_SOURCE_DIR))
                + code });
    process.waitForFinished(30000);
    if (process.exitCode() != 0) {
        qWarning() << process.readAllStandardError();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void subkeysAreGroupsOfTheirParent();
    void unknownHivesHoldNothing_data();
    void unknownHivesHoldNothing();
    void theDevelopmentHostReadsWhatTheClientWrites();
    void theClientReadsTheSeededAdapters();

private:
    QTemporaryDir dataHome;
};

void TestRegistry::init()
{
    // A data folder of this test's own, so that tests running side by side keep apart.
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    QVERIFY(Registry::standInFolder().startsWith(dataHome.path()));
    QDir(Registry::standInFolder()).removeRecursively();
}

void TestRegistry::subkeysAreGroupsOfTheirParent()
{
    Registry::openKey(interfacesKey + QStringLiteral("\\{0A1B}"))
        ->setValue(QStringLiteral("NameServer"), QStringLiteral("192.0.2.53"));
    Registry::openKey(interfacesKey + QStringLiteral("\\\\{0C2D}\\"))
        ->setValue(QStringLiteral("NameServer"), QString());

    const auto parent = Registry::openKey(interfacesKey);
    QCOMPARE(parent->childGroups(), QStringList({ QStringLiteral("{0A1B}"), QStringLiteral("{0C2D}") }));
    QCOMPARE(parent->value(QStringLiteral("{0A1B}/NameServer")).toString(), QStringLiteral("192.0.2.53"));
    QVERIFY(parent->contains(QStringLiteral("{0C2D}/NameServer")));

    // One file per hive, below the stand-in folder; the hives do not mix.
    QVERIFY(QFile::exists(Registry::standInFile(QStringLiteral("HKEY_LOCAL_MACHINE"))));
    QCOMPARE(
        QFileInfo(Registry::standInFile(QStringLiteral("HKEY_LOCAL_MACHINE"))).dir().path(), Registry::standInFolder());
    QVERIFY(Registry::openKey(QStringLiteral("HKEY_CURRENT_USER\\SYSTEM"))->allKeys().isEmpty());
    QCOMPARE(Registry::openKey(QStringLiteral("HKEY_LOCAL_MACHINE"))->childGroups(),
        QStringList({ QStringLiteral("SYSTEM") }));
}

void TestRegistry::unknownHivesHoldNothing_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::newRow("no hive") << QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    QTest::newRow("unknown hive") << QStringLiteral("HKEY_BOGUS\\SOFTWARE");
    QTest::newRow("parent folder") << QStringLiteral("..\\..\\..\\tmp\\x");
    QTest::newRow("slashes") << QStringLiteral("/etc/passwd");
    QTest::newRow("empty") << QString();
}

void TestRegistry::unknownHivesHoldNothing()
{
    QFETCH(QString, keyPath);
    {
        const auto key = Registry::openKey(keyPath);
        QVERIFY(key != nullptr);
        QVERIFY(key->allKeys().isEmpty());
        key->setValue(QStringLiteral("value"), QStringLiteral("data"));
        key->sync();
        QCOMPARE(key->status(), QSettings::AccessError);
    }
    QVERIFY(Registry::openKey(keyPath)->allKeys().isEmpty());
    QVERIFY(QDir(Registry::standInFolder()).entryList(QDir::Files).isEmpty());
}

void TestRegistry::theDevelopmentHostReadsWhatTheClientWrites()
{
    const QString key = QStringLiteral(
        "HKEY_LOCAL_MACHINE\\SYSTEM\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\{A1}\\Connection");
    {
        const auto connection = Registry::openKey(key);
        connection->setValue(QStringLiteral("PnPInstanceId"), QStringLiteral("ROOT\\KDNIC\\0000"));
        connection->setValue(QStringLiteral("Name"), QStringLiteral("Ethernet 2"));
        connection->setValue(QStringLiteral("Servers"), QStringLiteral("1.1.1.1,8.8.8.8"));
        connection->setValue(QStringLiteral("Quoted"), QStringLiteral("\"C:\\Program Files\\Client\\client.exe\""));
    }
    const QString out
        = python(QStringLiteral("import standin_registry as r\n"
                                "h = r.Hive('HKEY_LOCAL_MACHINE')\n"
                                "k = 'SYSTEM/Control/Network/{4D36E972-E325-11CE-BFC1-08002BE10318}/{A1}/Connection'\n"
                                "print(h.subkeys('SYSTEM/Control/Network/{4D36E972-E325-11CE-BFC1-08002BE10318}'))\n"
                                "for n in ('PnPInstanceId', 'Name', 'Servers', 'Quoted'): print(h.get(k, n))\n"));
    QCOMPARE(out.split(QLatin1Char('\n')),
        QStringList({ QStringLiteral("['{A1}']"), QStringLiteral("ROOT\\KDNIC\\0000"), QStringLiteral("Ethernet 2"),
            QStringLiteral("1.1.1.1,8.8.8.8"), QStringLiteral("\"C:\\Program Files\\Client\\client.exe\""),
            QString() }));
}

void TestRegistry::theClientReadsTheSeededAdapters()
{
    QProcess seed;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VPNC_REGISTRY_DIR"), Registry::standInFolder());
    seed.setProcessEnvironment(env);
    for (int round = 0; round < 2; ++round) { // a second seeding changes nothing
        seed.start(QStringLiteral("python3"), { QStringLiteral(VPN_SOURCE_DIR "/devhost/lib/seed_registry.py") });
        QVERIFY(seed.waitForFinished(30000));
        QCOMPARE(seed.exitCode(), 0);
    }

    const QString net = QStringLiteral("{4D36E972-E325-11CE-BFC1-08002BE10318}");
    const auto adapterClass
        = Registry::openKey(QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\") + net);
    QStringList guids;
    for (const QString& adapter : adapterClass->childGroups()) {
        guids << adapterClass->value(adapter + QStringLiteral("/NetCfgInstanceId")).toString();
    }
    QVERIFY(!guids.isEmpty());

    // Every adapter has its network connection and its TCP/IP keys, and the kernel debug adapter is there.
    QStringList instances;
    for (const QString& guid : guids) {
        QVERIFY(guid.startsWith(QLatin1Char('{')) && guid.endsWith(QLatin1Char('}')));
        const auto connection = Registry::openKey(
            QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\%1\\%2\\Connection")
                .arg(net, guid));
        QVERIFY(!connection->value(QStringLiteral("Name")).toString().isEmpty());
        instances << connection->value(QStringLiteral("PnPInstanceId")).toString();
        QVERIFY(Registry::openKey(interfacesKey)->childGroups().contains(guid));
        QVERIFY(Registry::openKey(
            QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Interfaces"))
                    ->childGroups()
                    .contains(guid));
    }
    QVERIFY(instances.contains(QStringLiteral("ROOT\\KDNIC\\0000")));

    // The wmic stand-in reports the same adapters.
    QProcess wmic;
    wmic.setProcessEnvironment(env);
    wmic.start(QStringLiteral(VPN_SOURCE_DIR "/devhost/bin/wmic"),
        { QStringLiteral("nic"), QStringLiteral("where"), QStringLiteral("GUID is not null"), QStringLiteral("get"),
            QStringLiteral("GUID") });
    QVERIFY(wmic.waitForFinished(30000));
    QStringList listed = QString::fromUtf8(wmic.readAllStandardOutput())
                             .split(QRegularExpression(QStringLiteral("[\\r\\n]")), Qt::SkipEmptyParts);
    for (QString& line : listed) {
        line = line.simplified();
    }
    listed.removeAll(QString());
    QCOMPARE(listed.takeFirst(), QStringLiteral("GUID"));
    QCOMPARE(QSet<QString>(listed.begin(), listed.end()), QSet<QString>(guids.begin(), guids.end()));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
