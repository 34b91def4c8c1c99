#include "../support/testkit.h"

#include <QTcpServer>

#include <signal.h>

// The client itself, as it starts on Linux: TUN from the kernel, the service from its socket.
class TestStartup : public QObject
{
    Q_OBJECT

    TemporaryProfile home; // also the lock's folder and the PATH's first entry
    QTcpServer service; // where the client finds the service

private slots:
    void initTestCase()
    {
        qputenv("PATH", home.path().toLocal8Bit() + ":/usr/bin:/bin");
        qputenv("TMPDIR", home.path().toLocal8Bit());
        QVERIFY2(service.listen(QHostAddress::LocalHost, 6447), qPrintable(service.errorString()));
    }

    // Start-up that cannot finish (no window) ends with -1 after the banner and a clean stop.
    void exitsWithMinusOne()
    {
        const QStringList command { VPN_TEST_BIN_DIR "/probe", "client" };
        QCOMPARE(QProcess::execute(command.first(), command.mid(1)), 255);
        const QString name = QFileInfo(command.first()).fileName();
        const QStringList texts = logLines(home.filePath("data/" + name + "/logs"));
        const QRegularExpression banner(
            "^([^\n]* version [^\n]*\n)?info\tApplication: Build date: '\\w{3} \\d{1,2} \\d{4}'\ninfo\tApplication: "
            "Started on [^\n]+\ninfo\tApplication: OpenSSL for Qt: ");
        QVERIFY2(banner.match(texts.join('\n')).hasMatch(), qPrintable(texts.join('\n')));
        QCOMPARE(texts.mid(texts.indexOf("critical\tMain: Critical error, exiting...") + 1).filter("\tApplication: "),
            QStringList({ "info\tApplication: Request to quit", "info\tApplication: Stopped" }));
    }

    void oneInstanceEvenAfterACrash()
    {
        const QString logs = home.filePath("data/vpnclient/logs");
        const QString last = "info\tApplication: vpn-service is running: true";
        for (int round = 0; round < 2; ++round) {
            QDir(home.filePath("data")).removeRecursively();
            QProcess client;
            client.start(VPN_APP_DIR "/vpnclient", {});
            QTRY_VERIFY_WITH_TIMEOUT(logLines(logs).contains(last), 60000);
            const QStringList texts = logLines(logs);
            // The service check is start-up's last line; only results of requests it made may follow.
            QVERIFY(texts.mid(texts.indexOf(last) + 1).filter("\tApplication: ").isEmpty());

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

    void startsWithoutAPlaceForTheLockNorTunAndQuitsOnSigterm()
    {
        // No other instance can hold a lock that nobody can create: this one must run. TUN is the
        // service's to open: a client that cannot open it (an empty /dev/net of its own) runs too.
        QDir(home.filePath("data")).removeRecursively();
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", "/proc");
        client.setProcessEnvironment(env);
        if (QProcess::execute("unshare", { "-rm", "true" }) == 0) {
            client.start("unshare",
                { "-rm", "sh", "-c", "mount -t tmpfs none /dev/net && exec \"$0\"", VPN_APP_DIR "/vpnclient" });
        } else {
            qWarning("no user namespaces here: the client runs with the machine's /dev/net");
            client.start(VPN_APP_DIR "/vpnclient", {});
        }
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
