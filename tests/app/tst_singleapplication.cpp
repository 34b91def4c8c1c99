#include <QProcess>
#include <QUuid>
#include <QtTest>

#include <signal.h>

// Single-instance behaviour between real processes (single_probe).
class TestSingleApplication : public QObject
{
    Q_OBJECT

private:
    QString appId;

    QProcess* startFirst()
    {
        auto* process = new QProcess(this);
        process->start(QStringLiteral(VPN_TEST_BIN_DIR "/single_probe"), { appId, QString() });
        return process;
    }

    static bool waitForLine(QProcess* process, const QByteArray& line, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        QByteArray seen;
        while (timer.elapsed() < timeoutMs) {
            process->waitForReadyRead(100);
            seen += process->readAllStandardOutput();
            if (seen.split('\n').contains(line)) {
                return true;
            }
        }
        return false;
    }

    int runSecond(const QString& message, qint64* elapsedMs = nullptr)
    {
        QProcess second;
        QElapsedTimer timer;
        timer.start();
        second.start(QStringLiteral(VPN_TEST_BIN_DIR "/single_probe"), { appId, message });
        if (!second.waitForFinished(20000)) {
            second.kill();
            return -1;
        }
        if (elapsedMs != nullptr) {
            *elapsedMs = timer.elapsed();
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -2;
    }

private slots:
    void init()
    {
        appId = QStringLiteral("VPNClientTest-") + QUuid::createUuid().toString(QUuid::Id128);
    }

    void secondInstanceHandsOverItsMessage()
    {
        QProcess* first = startFirst();
        QVERIFY(waitForLine(first, "primary"));

        QCOMPARE(runSecond(QStringLiteral("hello")), 0);
        QVERIFY(waitForLine(first, "received:hello"));
        QCOMPARE(runSecond(QString()), 0);
        QVERIFY(waitForLine(first, "received:"));

        QCOMPARE(runSecond(QStringLiteral("quit")), 0);
        QVERIFY(first->waitForFinished(10000));
        QCOMPARE(first->exitCode(), 0);

        // With the first one gone, the next start is the first instance again.
        QProcess* next = startFirst();
        QVERIFY(waitForLine(next, "primary"));
        QCOMPARE(runSecond(QStringLiteral("quit")), 0);
        QVERIFY(next->waitForFinished(10000));
    }

    void survivesACrashedFirstInstance()
    {
        QProcess* first = startFirst();
        QVERIFY(waitForLine(first, "primary"));
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(10000));

        // The lock and socket it left behind must not stop the next start.
        QProcess* next = startFirst();
        QVERIFY(waitForLine(next, "primary"));
        QCOMPARE(runSecond(QStringLiteral("ping")), 0);
        QVERIFY(waitForLine(next, "received:ping"));
        QCOMPARE(runSecond(QStringLiteral("quit")), 0);
        QVERIFY(next->waitForFinished(10000));
    }

    void unresponsiveFirstInstanceCostsTheTimeoutOnly()
    {
        QProcess* first = startFirst();
        QVERIFY(waitForLine(first, "primary"));
        ::kill(pid_t(first->processId()), SIGSTOP);
        qint64 elapsed = 0;
        const int code = runSecond(QStringLiteral("lost"), &elapsed);
        ::kill(pid_t(first->processId()), SIGCONT);
        QCOMPARE(code, 3); // still not a second primary
        QVERIFY2(elapsed < 15000, qPrintable(QString::number(elapsed)));
        QCOMPARE(runSecond(QStringLiteral("quit")), 0);
        QVERIFY(first->waitForFinished(10000));
    }

    void unusableTemporaryFolderStillStarts()
    {
        // Without a place for the lock (a temporary folder nobody can write, even root) no other
        // instance can hold it: this one must run, not hand its start over to nobody.
        auto* first = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/proc"));
        first->setProcessEnvironment(env);
        first->start(QStringLiteral(VPN_TEST_BIN_DIR "/single_probe"), { appId, QString() });
        QVERIFY(waitForLine(first, "primary"));
        QCOMPARE(first->state(), QProcess::Running);
    }

    void cleanup()
    {
        for (QProcess* process : findChildren<QProcess*>()) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleApplication)
#include "tst_singleapplication.moc"
