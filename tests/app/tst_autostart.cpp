#include "testkit.h"

#include "app/autostart.h"
#include "app/registry.h"

#include <QSettings>
#include <QTemporaryDir>

// AutoStart, the service check and the registry door, with a stand-in registry and tools of this test's own.
class TestAutoStart : public QObject
{
    Q_OBJECT

    QTemporaryDir data;
    QProcess service; // a real process named like the service, for the development host's wmic
    const QString self = '"' + QCoreApplication::applicationFilePath() + '"';

    static QString run(const QString& program, const QStringList& args)
    {
        QProcess process;
        process.start(program, args);
        return process.waitForFinished(30000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        qputenv("PATH", data.path().toLocal8Bit() + ":/usr/bin:/bin");
        qunsetenv("VPNC_REGISTRY_DIR");
        QVERIFY(QFile::copy("/bin/sleep", data.filePath("vpn-service")));
        service.start(data.filePath("vpn-service"), { "600" });
    }
    void init()
    {
        QDir(Registry::standInFolder()).removeRecursively();
    }

    void enableAndDisable_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::newRow("none") << QString();
        QTest::newRow("unquoted") << QCoreApplication::applicationFilePath();
        QTest::newRow("another copy") << "\"/opt/elsewhere/tst_autostart\"";
        QTest::newRow("with arguments") << self + " --minimized";
    }
    void enableAndDisable()
    {
        QFETCH(QString, previous);
        Registry::openKey(AutoStart::runKeyPath)->setValue("tst_autostart", previous);
        QVERIFY(!AutoStart::isEnabled());
        for (const bool enable : { true, true, false }) { // twice still leaves one value
            QTest::ignoreMessage(QtInfoMsg,
                enable ? "AutoStart: Set enabled: 'true', status 'true'"
                       : "AutoStart: Set enabled: 'false', status 'true'");
            QCOMPARE(AutoStart::setEnabled(enable), enable);
            const auto runKey = Registry::openKey(AutoStart::runKeyPath);
            QCOMPARE(runKey->allKeys(), enable ? QStringList { "tst_autostart" } : QStringList());
            QCOMPARE(runKey->value("tst_autostart").toString(), enable ? self : QString());
        }
    }

    void unwritableRegistry()
    {
        // A folder where the hive's file belongs: nothing can be written (even by root).
        QVERIFY(QDir().mkpath(Registry::standInFile("HKEY_CURRENT_USER")));
        QTest::ignoreMessage(QtInfoMsg, "AutoStart: Set enabled: 'true', status 'false'");
        QVERIFY(!AutoStart::setEnabled(true));
        QVERIFY(!AutoStart::isEnabled());
    }

    void movedExecutable()
    {
        // Two copies of one program share the value name but not the path.
        QTemporaryDir first, second;
        QVERIFY(QFile::copy(VPN_TEST_BIN_DIR "/probe", first.filePath("probe")));
        QVERIFY(QFile::copy(VPN_TEST_BIN_DIR "/probe", second.filePath("probe")));
        QCOMPARE(run(first.filePath("probe"), { "enable" }), QString("1\n"));
        QCOMPARE(run(second.filePath("probe"), { "check" }), QString("0\n"));
        QCOMPARE(run(second.filePath("probe"), { "enable" }), QString("1\n"));
        QCOMPARE(run(first.filePath("probe"), { "check" }), QString("0\n"));
        QCOMPARE(
            Registry::openKey(AutoStart::runKeyPath)->value("probe").toString(), '"' + second.filePath("probe") + '"');
    }

    void serviceCheck_data()
    {
        QTest::addColumn<QByteArray>("wmic");
        QTest::addColumn<bool>("running");
        const QByteArray listing = "'" VPN_TEST_DATA_DIR "/app/wmic-processes.txt'";
        QTest::newRow("exact query") << "[ \"$*\" = '/OUTPUT:STDOUT PROCESS get Caption' ] && cat " + listing << true;
        QTest::newRow("without the service") << "grep -v vpn-service " + listing << false;
        QTest::newRow("on standard error") << "cat >&2 " + listing << true;
        QTest::newRow("blanks and tabs") << QByteArray("printf 'Caption  \\r\\n\\t vpn-service.exe\\t  \\r\\r\\n'")
                                         << true;
        QTest::newRow("only cr") << QByteArray("printf 'Caption\\rvpn-service.exe'") << true;
        QTest::newRow("capitals") << QByteArray("echo VPN-SERVICE.EXE") << false;
        QTest::newRow("longer names") << QByteArray(
            "printf 'my-vpn-service.exe\\nvpn-service.exe.old\\nvpn-service\\n'")
                                      << false;
        QTest::newRow("two on one line") << QByteArray("echo vpn-service.exe vpn-service.exe") << false;
        QTest::newRow("failing") << QByteArray("echo 'ERROR: Access denied'; exit 5") << false;
        QTest::newRow("hanging") << QByteArray("exec sleep 60") << false;
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("stand-in") << QByteArray("exec '" VPN_SOURCE_DIR "/devhost/bin/wmic' \"$@\"") << true;
    }
    void serviceCheck()
    {
        QFETCH(QByteArray, wmic);
        QFETCH(bool, running);
        QFile::remove(data.filePath("wmic.exe"));
        if (!wmic.isEmpty()) {
            writeScript(data.filePath("wmic.exe"), wmic);
        }
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(isVpnServiceRunning(3000), running);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }

    void unknownHivesHoldNothing()
    {
        for (const QString path :
            { "SOFTWARE\\Run", "HKEY_BOGUS\\SOFTWARE", "..\\..\\..\\tmp\\x", "/etc/passwd", "" }) {
            Registry::openKey(path)->setValue("value", "data");
            const auto key = Registry::openKey(path);
            QVERIFY2(key->allKeys().isEmpty(), qPrintable(path));
            key->setValue("value", "data");
            key->sync();
            QCOMPARE(key->status(), QSettings::AccessError);
        }
        QVERIFY(QDir(Registry::standInFolder()).entryList(QDir::Files).isEmpty());
    }

    void theDevelopmentHostSharesTheRegistry()
    {
        // Seeded twice (which changes nothing), the adapters the client reads are those the wmic stand-in lists.
        const QString seed = VPN_SOURCE_DIR "/devhost/lib/seed_registry.py";
        QVERIFY(run("python3", { seed }).startsWith("stand-in registry")
            && run("python3", { seed }).startsWith("stand-in"));
        const auto adapters = Registry::openKey(
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}");
        QString guids = "GUID";
        for (const QString& adapter : adapters->childGroups()) {
            guids += ' ' + adapters->value(adapter + "/NetCfgInstanceId").toString();
        }
        QVERIFY(guids.contains('{'));
        QCOMPARE(
            run(VPN_SOURCE_DIR "/devhost/bin/wmic", { "nic", "where", "GUID is not null", "get", "GUID" }).simplified(),
            guids);

        // What the client writes, the development host reads: backslashes, commas and quotes included.
        const QString value = "\"C:\\Program Files\\Client\\client.exe\",1.1.1.1,8.8.8.8";
        Registry::openKey("HKEY_LOCAL_MACHINE\\SYSTEM\\{A1}\\Connection")->setValue("Quoted", value);
        const QString read
            = "import sys; sys.path.insert(0, '" VPN_SOURCE_DIR "/devhost/lib'); import standin_registry as r; "
              "print(r.Hive('HKEY_LOCAL_MACHINE').get('SYSTEM/{A1}/Connection', 'Quoted'))";
        QCOMPARE(run("python3", { "-c", read }), value + '\n');
    }
};

QTEST_GUILESS_MAIN(TestAutoStart)
#include "tst_autostart.moc"
