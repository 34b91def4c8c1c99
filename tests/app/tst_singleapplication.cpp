#include <QProcess>
#include <QUuid>
#include <QtTest>

#include <signal.h>

// Single-instance behaviour between real processes (the probe's "single" mode).
class TestSingleApplication : public QObject
{
    Q_OBJECT

    const QString appId = "VPNClientTest-" + QUuid::createUuid().toString(QUuid::Id128);
    QProcess first;
    QByteArray seen;

    const QByteArray& output()
    {
        return seen += first.readAllStandardOutput();
    }
    // A later instance passing the message: 0 when the first one confirmed it, 3 when not.
    int second(const QString& message)
    {
        QProcess later;
        later.start(VPN_TEST_BIN_DIR "/probe", { "single", appId, message });
        return later.waitForFinished(20000) && later.exitStatus() == QProcess::NormalExit ? later.exitCode() : -1;
    }

private slots:
    void messagesReachTheFirstInstance()
    {
        for (const QByteArray round : { "crashed", "second" }) {
            seen.clear();
            first.start(VPN_TEST_BIN_DIR "/probe", { "single", appId, "" });
            QTRY_VERIFY(output().startsWith("primary\n"));
            QCOMPARE(second(round), 0);
            QCOMPARE(second(""), 0);
            QTRY_COMPARE(output(), "primary\nreceived:" + round + "\nreceived:\n");
            // An unresponsive first instance costs the timeout only, and makes no second primary.
            ::kill(pid_t(first.processId()), SIGSTOP);
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(second("lost"), 3);
            QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
            // The lock and socket a killed instance leaves behind must not stop the next start.
            ::kill(pid_t(first.processId()), SIGKILL);
            QVERIFY(first.waitForFinished(10000));
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleApplication)
#include "tst_singleapplication.moc"
