#include "../app/testkit.h"

#include "foundation/childprocess.h"
#include "foundation/utils.h"
#include "platform/autostart.h"
#include "platform/registry.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <optional>

#include <signal.h>

// The client's doors to the host (registry, AutoStart, the service check, netsh, child processes) and its
// helpers, with a stand-in registry and commands of this test's own.
class TestHost : public QObject
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
        QVERIFY(QFile::copy("/bin/sleep", data.filePath("vpn-service")));
        service.start(data.filePath("vpn-service"), { "600" });
    }
    void init()
    {
        QDir(Registry::standInFolder()).removeRecursively();
    }

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
        QCOMPARE(Utils::flagImagePath("gB"), QString("qrc:/resources/icons/flags/gb.png"));
        writeScript(data.filePath("run-vpn.log"), "old OpenVPN output");
        Utils::createEmptyFile(data.filePath("run-vpn.log"));
        QCOMPARE(QFileInfo(data.filePath("run-vpn.log")).size(), 0);
    }

    void enableAndDisable_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::newRow("none") << QString();
        QTest::newRow("unquoted") << QCoreApplication::applicationFilePath();
        QTest::newRow("another copy") << "\"/opt/elsewhere/tst_host\"";
        QTest::newRow("with arguments") << self + " --minimized";
    }
    void enableAndDisable()
    {
        QFETCH(QString, previous);
        Registry::openKey(AutoStart::runKeyPath)->setValue("tst_host", previous);
        QVERIFY(!AutoStart::isEnabled());
        for (const bool enable : { true, true, false }) { // twice still leaves one value
            QTest::ignoreMessage(QtInfoMsg,
                qPrintable(QString("AutoStart: Set enabled: '%1', status 'true'").arg(Utils::boolToString(enable))));
            QCOMPARE(AutoStart::setEnabled(enable), enable);
            const auto runKey = Registry::openKey(AutoStart::runKeyPath);
            QCOMPARE(runKey->allKeys(), enable ? QStringList { "tst_host" } : QStringList());
            QCOMPARE(runKey->value("tst_host").toString(), enable ? self : QString());
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
        QCOMPARE(
            run(first.filePath("probe"), { "enable" }) + run(second.filePath("probe"), { "check" }), QString("1\n0\n"));
        QCOMPARE(run(second.filePath("probe"), { "enable" }), QString("1\n"));
        QCOMPARE(
            Registry::openKey(AutoStart::runKeyPath)->value("probe"), QVariant('"' + second.filePath("probe") + '"'));
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

    void serviceCheck_data()
    {
        QTest::addColumn<QString>("wmic");
        QTest::addColumn<bool>("running");
        const QString listing = "'" VPN_TEST_DATA_DIR "/app/wmic-processes.txt'";
        QTest::newRow("exact query") << "[ \"$*\" = '/OUTPUT:STDOUT PROCESS get Caption' ] && cat " + listing << true;
        QTest::newRow("without the service") << "grep -v vpn-service " + listing << false;
        QTest::newRow("on standard error") << "cat >&2 " + listing << true;
        QTest::newRow("blanks and tabs") << "printf 'Caption  \\r\\n\\t vpn-service.exe\\t  \\r\\r\\n'" << true;
        QTest::newRow("only cr") << "printf 'Caption\\rvpn-service.exe'" << true;
        QTest::newRow("capitals") << "echo VPN-SERVICE.EXE" << false;
        QTest::newRow("longer names") << "printf 'my-vpn-service.exe\\nvpn-service.exe.old\\nvpn-service\\n'" << false;
        QTest::newRow("failing") << "echo 'ERROR: Access denied'; exit 5" << false;
        QTest::newRow("hanging") << "exec sleep 60" << false;
        QTest::newRow("missing") << "" << false;
        QTest::newRow("stand-in") << "exec '" VPN_SOURCE_DIR "/devhost/bin/wmic' \"$@\"" << true;
    }
    void serviceCheck()
    {
        QFETCH(QString, wmic);
        QFETCH(bool, running);
        writeScript(data.filePath("wmic.exe"), wmic.toUtf8());
        const QDeadlineTimer limit(20000);
        std::optional<bool> found;
        QObject context; // the run ends with the row
        checkVpnServiceRunning(
            &context,
            [&found](bool listed) {
                found = listed;
            },
            3000);
        QTRY_VERIFY_WITH_TIMEOUT(found.has_value(), 15000);
        QCOMPARE(*found, running);
        QVERIFY(!limit.hasExpired());
    }

    void setInterfaceMtu_data()
    {
        QTest::addColumn<int>("mtu");
        QTest::addColumn<QString>("netsh");
        QTest::addColumn<QString>("result"); // the exit code logged, and the MTU in the arguments
        QTest::newRow("manual") << 1400 << "exit 0" << QString("0 mtu=1400");
        QTest::newRow("auto") << 0 << "exit 0" << QString("0 mtu=1500");
        QTest::newRow("negative, failing") << -1 << "echo 'Element not found.'; exit 1" << QString("1 mtu=1500");
        QTest::newRow("hanging") << 65535 << "exec sleep 60" << QString("-?\\d+ mtu=65535");
    }
    void setInterfaceMtu()
    {
        QFETCH(int, mtu);
        QFETCH(QString, netsh);
        QFETCH(QString, result);
        writeScript(data.filePath("netsh"), "echo \"$@\" > \"$0.argv\"\n" + netsh.toUtf8());
        QTest::ignoreMessage(QtInfoMsg,
            QRegularExpression(
                "^Utils: 'Set mtu size' command finished with code: " + result.section(' ', 0, 0) + '$'));
        const QDeadlineTimer limit(20000);
        Utils::setInterfaceMtu(12, mtu, 2000);
        QVERIFY(!limit.hasExpired());
        QCOMPARE(logLines(data.filePath("netsh.argv"), 0),
            QStringList("interface ipv4 set subinterface 12 " + result.section(' ', 1) + " store=persistent"));
    }

    void childProcess_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("result"); // of the finished signal, if any, and the error logged
        QTest::newRow("exit 0") << "exit 0" << QString("true");
        QTest::newRow("exit 1") << "exit 1" << QString("false");
        QTest::newRow("crash") << "kill -SEGV $$" << QString("false crashed");
        QTest::newRow("failing start") << "/nonexistent/program" << QString(" failed to start");
    }
    void childProcess()
    {
        QFETCH(QString, program);
        QFETCH(QString, result);
        ChildProcess runner;
        QSignalSpy finished(&runner, &ChildProcess::processFinished);
        if (result.contains(' ')) {
            QTest::ignoreMessage(QtWarningMsg, qPrintable("ChildProcess: Error occured: " + result.section(' ', 1)));
        }
        runner.process.start(program.startsWith('/') ? program : "/bin/sh", { "-c", program });
        QTest::qWait(200);
        QTRY_COMPARE(finished.isEmpty() ? "" : finished.first().first().toString(), result.section(' ', 0, 0));
    }

    void childProcessEndsWithItsOwner()
    {
        auto* runner = new ChildProcess(this);
        runner->setFinishWaitMs(300);
        runner->process.start("/bin/sleep", { "60" });
        QVERIFY(runner->process.waitForStarted(5000));
        const pid_t pid = pid_t(runner->process.processId());
        delete runner;
        QCOMPARE(::kill(pid, 0), -1);
    }
};

QTEST_GUILESS_MAIN(TestHost)
#include "tst_host.moc"
