#include "testkit.h"

#include <QTemporaryDir>

#include <signal.h>

// The client itself, with the development host's commands replaced by stand-ins on PATH.
class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    const QByteArray twoAdapters = "cat '" VPN_TEST_DATA_DIR "/connection/route-two-adapters.txt'";

private slots:
    void initTestCase()
    {
        qputenv("PATH", home.path().toLocal8Bit() + ":/usr/bin:/bin");
        qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
        qputenv("TMPDIR", home.path().toLocal8Bit()); // where the single-instance lock lives
        writeScript(home.filePath("wmic.exe"), "cat '" VPN_TEST_DATA_DIR "/app/wmic-processes.txt'");
    }

    void exitsWithMinusOne_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("route");
        QTest::newRow("no adapter") << QStringList { VPN_APP_DIR "/vpnclient" } << QByteArray("echo ' 1...Loopback'");
        QTest::newRow("no root object") << QStringList { VPN_TEST_BIN_DIR "/probe", "client" } << twoAdapters;
    }
    void exitsWithMinusOne()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, route);
        writeScript(home.filePath("route"), route);
        QCOMPARE(QProcess::execute(command.first(), command.mid(1)), 255);
        const QStringList texts = logLines(home.filePath("data/" + QFileInfo(command.first()).fileName() + "/logs"));
        const QRegularExpression banner(
            "^([^\n]* version [^\n]*\n)?info\tApplication: Build date: '\\w{3} \\d{1,2} \\d{4}'\ninfo\tApplication: "
            "Started on [^\n]+\ninfo\tApplication: OpenSSL for Qt: ");
        QVERIFY2(banner.match(texts.join('\n')).hasMatch(), qPrintable(texts.join('\n')));
        QCOMPARE(texts.mid(texts.indexOf("critical\tMain: Critical error, exiting...") + 1).filter("\tApplication: "),
            QStringList({ "info\tApplication: Request to quit", "info\tApplication: Stopped" }));
        QCOMPARE(texts.filter("Detected VPN interface").isEmpty(), route != twoAdapters);
    }

    void oneInstanceEvenAfterACrash()
    {
        writeScript(home.filePath("route"), twoAdapters);
        const QString logs = home.filePath("data/vpnclient/logs");
        const QString last = "info\tApplication: vpn-service is running: true";
        for (int round = 0; round < 2; ++round) {
            QDir(home.filePath("data")).removeRecursively();
            QProcess client;
            client.start(VPN_APP_DIR "/vpnclient", {});
            QTRY_VERIFY_WITH_TIMEOUT(logLines(logs).contains(last), 60000);
            const QStringList texts = logLines(logs);
            const int detected = texts.indexOf(
                "info\tNetworkInterfaces: Detected VPN interface, id: 19, name: 'TAP-Windows Adapter V9'");
            QCOMPARE(texts.value(detected + 1),
                QString("info\tNetworkInterfaces: Detected VPN interface, id: 23, name: 'TAP-Windows Adapter V9 #2'"));
            // The service check is the constructor's last line; only results of requests it made may follow.
            QVERIFY(texts.indexOf(last) > detected
                && texts.mid(texts.indexOf(last) + 1).filter("\tApplication: ").isEmpty());

            // A second start shows the first and ends, also when the first does not answer (after the timeout).
            QCOMPARE(QProcess::execute(VPN_APP_DIR "/vpnclient", {}), 0);
            QTRY_VERIFY(logLines(logs).contains("info\tApplication: Message to show app"));
            ::kill(pid_t(client.processId()), SIGSTOP);
            const QDeadlineTimer limit(20000);
            QCOMPARE(QProcess::execute(VPN_APP_DIR "/vpnclient", {}), 0);
            QVERIFY(!limit.hasExpired());
            QCOMPARE(QDir(logs).entryList(QDir::Files).size(), 1); // the later starts logged nothing
            // The lock and socket a killed first instance leaves behind must not stop the next start.
            ::kill(pid_t(client.processId()), SIGKILL);
            QVERIFY(client.waitForFinished(10000));
        }
    }

    void startsWithoutAPlaceForTheLockAndQuitsOnSigterm()
    {
        // No other instance can hold a lock that nobody can create: this one must run.
        writeScript(home.filePath("route"), twoAdapters);
        QDir(home.filePath("data")).removeRecursively();
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", "/proc");
        client.setProcessEnvironment(env);
        client.start(VPN_APP_DIR "/vpnclient", {});
        const QString logs = home.filePath("data/vpnclient/logs");
        QTRY_VERIFY_WITH_TIMEOUT(logLines(logs).contains("info\tApplication: vpn-service is running: true"), 60000);

        // A session that logs out ends it as the user's quit does: the whole shutdown, the service told.
        ::kill(pid_t(client.processId()), SIGTERM);
        QVERIFY(client.waitForFinished(20000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        const QStringList texts = logLines(logs);
        const QStringList tail = texts.mid(texts.indexOf("info\tQuitSignals: Quit on signal 15"));
        QCOMPARE(tail.filter(QRegularExpression("Application: |init: connection")),
            QStringList({ "info\tApplication: Request to quit",
                "info\tServiceController: Send data: [init: connection]", "info\tApplication: Stopped" }));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
