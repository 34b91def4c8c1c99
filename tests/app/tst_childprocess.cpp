#include "app/childprocess.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <signal.h>

Q_DECLARE_METATYPE(QProcess::ProcessError)

class TestChildProcess : public QObject
{
    Q_OBJECT

private slots:
    void reportsTheOutcome_data();
    void reportsTheOutcome();
    void failedStartOnlyWarns();
    void errorTexts_data();
    void errorTexts();
    void destructionWaitsAtMostTheLimit();
};

void TestChildProcess::reportsTheOutcome_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("warning");

    QTest::newRow("exit 0") << QStringLiteral("exit 0") << true << QString();
    QTest::newRow("exit 1") << QStringLiteral("exit 1") << false << QString();
    QTest::newRow("exit 255") << QStringLiteral("exit 255") << false << QString();
    QTest::newRow("crash") << QStringLiteral("kill -SEGV $$") << false
                           << QStringLiteral("ChildProcess: Error occured: crashed");
    QTest::newRow("killed") << QStringLiteral("kill -KILL $$") << false
                            << QStringLiteral("ChildProcess: Error occured: crashed");
}

void TestChildProcess::reportsTheOutcome()
{
    QFETCH(QString, script);
    QFETCH(bool, success);
    QFETCH(QString, warning);

    ChildProcess runner;
    QCOMPARE(runner.objectName(), QStringLiteral("ChildProcess"));
    QSignalSpy finished(&runner, &ChildProcess::processFinished);
    if (!warning.isEmpty()) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    }
    runner.process.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script });
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), success);
}

void TestChildProcess::failedStartOnlyWarns()
{
    ChildProcess runner;
    QSignalSpy finished(&runner, &ChildProcess::processFinished);
    QTest::ignoreMessage(QtWarningMsg, "ChildProcess: Error occured: failed to start");
    runner.process.start(QStringLiteral("/nonexistent/vpnc-no-such-program"), QStringList());
    QVERIFY(!runner.process.waitForStarted(5000));
    QTest::qWait(100);
    QCOMPARE(finished.count(), 0);
}

void TestChildProcess::errorTexts_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QStringLiteral("failed to start");
    QTest::newRow("1") << 1 << QStringLiteral("crashed");
    QTest::newRow("2") << 2 << QStringLiteral("timed out");
    QTest::newRow("3") << 3 << QStringLiteral("read error");
    QTest::newRow("4") << 4 << QStringLiteral("write error");
    QTest::newRow("5") << 5 << QStringLiteral("unknown error");
    QTest::newRow("other") << 7 << QString();
}

void TestChildProcess::errorTexts()
{
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(ChildProcess::errorText(static_cast<QProcess::ProcessError>(error)), text);
}

void TestChildProcess::destructionWaitsAtMostTheLimit()
{
    qint64 pid = 0;
    QElapsedTimer timer;
    {
        ChildProcess runner;
        runner.setFinishWaitMs(300);
        runner.process.start(QStringLiteral("/bin/sleep"), { QStringLiteral("60") });
        QVERIFY(runner.process.waitForStarted(5000));
        pid = runner.process.processId();
        timer.start();
    }
    // Far less than the minute the process wanted, and the process is gone with the runner.
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), 0), -1);

    // A process that ends within the limit is waited for, and reported to nobody.
    {
        ChildProcess runner;
        QSignalSpy finished(&runner, &ChildProcess::processFinished);
        runner.process.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), QStringLiteral("sleep 0.3") });
        QVERIFY(runner.process.waitForStarted(5000));
        pid = runner.process.processId();
    }
    QCOMPARE(::kill(pid_t(pid), 0), -1);
}

QTEST_GUILESS_MAIN(TestChildProcess)
#include "tst_childprocess.moc"
