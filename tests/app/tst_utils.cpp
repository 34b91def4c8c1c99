#include "testkit.h"

#include "app/childprocess.h"
#include "app/utils.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <signal.h>

// Utils, setInterfaceMtu against a netsh stand-in that records its arguments, and ChildProcess with real processes.
class TestUtils : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void helpers()
    {
        QVERIFY(
            Utils::isIpv4Address(" 10.8.0.1 ") && !Utils::isIpv4Address("10.8.0.256") && !Utils::isIpv4Address("::1"));
        QVERIFY(Utils::isIpv6Address("::ffff:10.8.0.1") && !Utils::isIpv6Address("10.8.0.1")
            && !Utils::isIpv6Address("vpn.example.com"));
        QCOMPARE(Utils::flagImagePath("gB"), QString("qrc:/resources/icons/flags/gb.png"));

        writeScript(dir.filePath("run-vpn.log"), "old OpenVPN output");
        Utils::createEmptyFile(dir.filePath("run-vpn.log"));
        QCOMPARE(QFileInfo(dir.filePath("run-vpn.log")).size(), 0);

        // A resource gets an on-disk copy that goes with its owner.
        QTemporaryFile* copy = Utils::createLocalTemporaryFile(":/qtquickcontrols2.conf");
        QFile original(":/qtquickcontrols2.conf");
        QVERIFY(copy && copy->open() && original.open(QIODevice::ReadOnly));
        QCOMPARE(copy->readAll(), original.readAll());
        const QString path = copy->fileName();
        delete copy;
        QVERIFY(!path.startsWith(':') && !QFileInfo::exists(path));
        QTest::ignoreMessage(QtCriticalMsg, "Utils: Cannot read local temporary file for path ':/no/such.ovpn'");
        QVERIFY(!Utils::createLocalTemporaryFile(":/no/such.ovpn"));
    }

    void setInterfaceMtu_data()
    {
        QTest::addColumn<int>("mtu");
        QTest::addColumn<QByteArray>("netsh");
        QTest::addColumn<QString>("result"); // the exit code logged, and the MTU in the arguments
        QTest::newRow("manual") << 1400 << QByteArray("exit 0") << "0 mtu=1400";
        QTest::newRow("auto") << 0 << QByteArray("exit 0") << "0 mtu=1500";
        QTest::newRow("negative, failing") << -1 << QByteArray("echo 'Element not found.'; exit 1") << "1 mtu=1500";
        QTest::newRow("hanging") << 65535 << QByteArray("exec sleep 60") << "-?\\d+ mtu=65535";
    }
    void setInterfaceMtu()
    {
        QFETCH(int, mtu);
        QFETCH(QByteArray, netsh);
        QFETCH(QString, result);
        qputenv("PATH", dir.path().toLocal8Bit() + ":/usr/bin:/bin");
        writeScript(dir.filePath("netsh"), "echo \"$@\" > \"$(dirname \"$0\")/argv\"\n" + netsh);
        QTest::ignoreMessage(QtInfoMsg,
            QRegularExpression(
                "^Utils: 'Set mtu size' command finished with code: " + result.section(' ', 0, 0) + '$'));
        QElapsedTimer timer;
        timer.start();
        Utils::setInterfaceMtu(12, mtu, 2000);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QFile argv(dir.filePath("argv"));
        QVERIFY(argv.open(QIODevice::ReadOnly));
        QCOMPARE(QString(argv.readAll()),
            "interface ipv4 set subinterface 12 " + result.section(' ', 1) + " store=persistent\n");
    }

    void childProcess_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("result"); // of the finished signal, if any
        QTest::addColumn<QString>("error");
        QTest::newRow("exit 0") << "exit 0"
                                << "true"
                                << "";
        QTest::newRow("exit 1") << "exit 1"
                                << "false"
                                << "";
        QTest::newRow("crash") << "kill -SEGV $$"
                               << "false"
                               << "crashed";
        QTest::newRow("failing start") << "/nonexistent/program"
                                       << ""
                                       << "failed to start";
    }
    void childProcess()
    {
        QFETCH(QString, program);
        QFETCH(QString, result);
        QFETCH(QString, error);
        ChildProcess runner;
        QSignalSpy finished(&runner, &ChildProcess::processFinished);
        if (!error.isEmpty()) {
            QTest::ignoreMessage(QtWarningMsg, qPrintable("ChildProcess: Error occured: " + error));
        }
        runner.process.start(program.startsWith('/') ? program : "/bin/sh", { "-c", program });
        QTest::qWait(200);
        QTRY_COMPARE(finished.isEmpty() ? "" : finished.first().first().toString(), result);
    }

    void destructionEndsAProcessThatOutlivesTheWait()
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

QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
