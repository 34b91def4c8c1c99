#include "app/autostart.h"
#include "app/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString fixture(const QString& name)
{
    QFile file(QStringLiteral(VPN_TEST_DATA_DIR "/app/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", qPrintable(name));
    }
    return QString::fromUtf8(file.readAll());
}

void writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
}

QString runValue()
{
    const auto runKey = Registry::openKey(AutoStart::runKeyPath);
    return runKey->value(QFileInfo(QCoreApplication::applicationFilePath()).baseName()).toString();
}

void setRunValue(const QString& data)
{
    Registry::openKey(AutoStart::runKeyPath)
        ->setValue(QFileInfo(QCoreApplication::applicationFilePath()).baseName(), data);
}

} // namespace

class TestAutoStart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void enableAndDisable();
    void unquotedOrForeignRegistrations_data();
    void unquotedOrForeignRegistrations();
    void unwritableRegistry();
    void movedExecutable();

    void processList_data();
    void processList();
    void serviceCheckRunsWmic_data();
    void serviceCheckRunsWmic();
    void serviceCheckWithoutWmic();
    void hangingWmicCostsAtMostTheLimit();
    void serviceCheckThroughTheStandIn();

private:
    QTemporaryDir dataHome;
    QByteArray originalPath;
    QTemporaryDir bin;
    QString quotedPath;
};

void TestAutoStart::initTestCase()
{
    // A data folder of this test's own, so that tests running side by side keep apart.
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    QVERIFY(Registry::standInFolder().startsWith(dataHome.path()));
    quotedPath
        = QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) + QLatin1Char('"');
    originalPath = qgetenv("PATH");
}

void TestAutoStart::init()
{
    QDir(Registry::standInFolder()).removeRecursively();
    qputenv("PATH", bin.path().toLocal8Bit() + ":/usr/bin:/bin");
}

void TestAutoStart::cleanup()
{
    qputenv("PATH", originalPath);
    QDir(Registry::standInFolder()).removeRecursively();
}

void TestAutoStart::enableAndDisable()
{
    QVERIFY(!AutoStart::isEnabled());

    QTest::ignoreMessage(QtInfoMsg, "AutoStart: Set enabled: 'true', status 'true'");
    QVERIFY(AutoStart::setEnabled(true));
    QCOMPARE(runValue(), quotedPath);
    QVERIFY(AutoStart::isEnabled());

    // Twice still leaves one value.
    QTest::ignoreMessage(QtInfoMsg, "AutoStart: Set enabled: 'true', status 'true'");
    QVERIFY(AutoStart::setEnabled(true));
    QCOMPARE(Registry::openKey(AutoStart::runKeyPath)->childKeys(), QStringList({ QStringLiteral("tst_autostart") }));

    QTest::ignoreMessage(QtInfoMsg, "AutoStart: Set enabled: 'false', status 'true'");
    QVERIFY(!AutoStart::setEnabled(false));
    QVERIFY(!Registry::openKey(AutoStart::runKeyPath)->contains(QStringLiteral("tst_autostart")));
    QVERIFY(!AutoStart::isEnabled());
}

void TestAutoStart::unquotedOrForeignRegistrations_data()
{
    QTest::addColumn<QString>("data");
    QTest::newRow("unquoted") << QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    QTest::newRow("another copy") << QStringLiteral("\"/opt/elsewhere/tst_autostart\"");
    QTest::newRow("with arguments") << quotedPath + QStringLiteral(" --minimized");
    QTest::newRow("single quotes") << QLatin1Char('\'') + QCoreApplication::applicationFilePath() + QLatin1Char('\'');
}

void TestAutoStart::unquotedOrForeignRegistrations()
{
    QFETCH(QString, data);
    setRunValue(data);
    QVERIFY(!AutoStart::isEnabled());

    // Enabling puts the right registration in its place.
    QTest::ignoreMessage(QtInfoMsg, "AutoStart: Set enabled: 'true', status 'true'");
    QVERIFY(AutoStart::setEnabled(true));
    QCOMPARE(runValue(), quotedPath);
}

void TestAutoStart::unwritableRegistry()
{
    // A folder where the hive's file belongs: nothing can be written (even by root).
    QVERIFY(QDir().mkpath(Registry::standInFile(QStringLiteral("HKEY_CURRENT_USER"))));
    QTest::ignoreMessage(QtInfoMsg, "AutoStart: Set enabled: 'true', status 'false'");
    QVERIFY(!AutoStart::setEnabled(true));
    QVERIFY(!AutoStart::isEnabled());
}

void TestAutoStart::movedExecutable()
{
    // Two copies of one program in different folders share the value name but not the path.
    QTemporaryDir first;
    QTemporaryDir second;
    QTemporaryDir data;
    const QString probe = QStringLiteral(VPN_TEST_BIN_DIR "/autostart_probe");
    QVERIFY(QFile::copy(probe, first.filePath(QStringLiteral("autostart_probe"))));
    QVERIFY(QFile::copy(probe, second.filePath(QStringLiteral("autostart_probe"))));

    auto run = [&](const QTemporaryDir& where, const QString& command) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        process.setProcessEnvironment(env);
        process.start(where.filePath(QStringLiteral("autostart_probe")), { command });
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };

    QCOMPARE(run(first, QStringLiteral("enable")), QStringLiteral("true"));
    QCOMPARE(run(second, QStringLiteral("check")), QStringLiteral("false"));
    QCOMPARE(run(first, QStringLiteral("check")), QStringLiteral("true"));
    QCOMPARE(run(second, QStringLiteral("enable")), QStringLiteral("true"));
    QCOMPARE(run(first, QStringLiteral("check")), QStringLiteral("false"));

    QSettings stored(data.filePath(QStringLiteral("vpnclient-registry/HKEY_CURRENT_USER.ini")), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("SOFTWARE/Microsoft/Windows/CurrentVersion/Run/autostart_probe")).toString(),
        QLatin1Char('"') + second.filePath(QStringLiteral("autostart_probe")) + QLatin1Char('"'));
}

void TestAutoStart::processList_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<bool>("found");
    QTest::newRow("wmic listing") << fixture(QStringLiteral("wmic-processes.txt")) << true;
    QTest::newRow("without the service")
        << fixture(QStringLiteral("wmic-processes.txt")).remove(QStringLiteral("vpn-service.exe")) << false;
    QTest::newRow("trailing blanks") << QStringLiteral("Caption  \r\nvpn-service.exe            \r\n") << true;
    QTest::newRow("leading blanks and tabs") << QStringLiteral("\t vpn-service.exe\t\n") << true;
    QTest::newRow("capitals") << QStringLiteral("Caption\r\r\nVPN-SERVICE.EXE  \r\r\n") << false;
    QTest::newRow("longer name") << QStringLiteral("my-vpn-service.exe\nvpn-service.exe.old\n") << false;
    QTest::newRow("two on one line") << QStringLiteral("vpn-service.exe vpn-service.exe\n") << false;
    QTest::newRow("only cr") << QStringLiteral("Caption\rvpn-service.exe") << true;
    QTest::newRow("without exe") << QStringLiteral("vpn-service\n") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestAutoStart::processList()
{
    QFETCH(QString, listing);
    QFETCH(bool, found);
    QCOMPARE(processListContains(listing, QStringLiteral("vpn-service.exe")), found);
}

void TestAutoStart::serviceCheckRunsWmic_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("running");
    const QByteArray listing = QByteArray("cat '") + VPN_TEST_DATA_DIR + "/app/wmic-processes.txt'";
    // The fake answers only the exact query.
    QTest::newRow("listed") << QByteArray("[ \"$*\" = '/OUTPUT:STDOUT PROCESS get Caption' ] || exit 1\n" + listing)
                            << true;
    QTest::newRow("on standard error") << QByteArray(listing + " >&2") << true;
    QTest::newRow("not listed") << QByteArray("printf 'Caption  \\r\\r\\nexplorer.exe  \\r\\r\\n'") << false;
    QTest::newRow("failing") << QByteArray("echo 'ERROR: Access denied' ; exit 5") << false;
}

void TestAutoStart::serviceCheckRunsWmic()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, running);
    writeScript(bin.filePath(QStringLiteral("wmic.exe")), script);
    QCOMPARE(isVpnServiceRunning(), running);
}

void TestAutoStart::serviceCheckWithoutWmic()
{
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toLocal8Bit());
    QVERIFY(!isVpnServiceRunning());
}

void TestAutoStart::hangingWmicCostsAtMostTheLimit()
{
    QCOMPARE(processListTimeoutMs, 30000);
    writeScript(bin.filePath(QStringLiteral("wmic.exe")), "exec sleep 60");
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!isVpnServiceRunning(300));
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

void TestAutoStart::serviceCheckThroughTheStandIn()
{
    // A real process named like the service, found by the development host's wmic.
    QTemporaryDir dir;
    const QString service = dir.filePath(QStringLiteral("vpn-service"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), service));
    QProcess process;
    process.start(service, { QStringLiteral("60") });
    QVERIFY(process.waitForStarted(5000));
    qputenv("PATH", QByteArray(VPN_SOURCE_DIR "/devhost/bin:") + originalPath);
    const bool running = isVpnServiceRunning();
    process.kill();
    process.waitForFinished(5000);
    QVERIFY(running);
}

QTEST_GUILESS_MAIN(TestAutoStart)
#include "tst_autostart.moc"
