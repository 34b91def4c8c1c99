#include "app/utils.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
}

} // namespace

// setInterfaceMtu against a fake netsh: a real process that records its arguments.
class TestMtu : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void arguments_data();
    void arguments();
    void runsNetshWithTheArguments_data();
    void runsNetshWithTheArguments();
    void logsTheExitCode();
    void hangingNetshCostsAtMostTheLimit();

private:
    QByteArray originalPath;
    QTemporaryDir bin;
};

void TestMtu::init()
{
    originalPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ":/usr/bin:/bin");
}

void TestMtu::cleanup()
{
    qputenv("PATH", originalPath);
}

void TestMtu::arguments_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("mtu");
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("manual") << 12 << 1400
                            << QStringLiteral("interface ipv4 set subinterface 12 mtu=1400 store=persistent");
    QTest::newRow("auto") << 12 << 0 << QStringLiteral("interface ipv4 set subinterface 12 mtu=1500 store=persistent");
    QTest::newRow("negative") << 7 << -1
                              << QStringLiteral("interface ipv4 set subinterface 7 mtu=1500 store=persistent");
    QTest::newRow("largest") << 2147483647 << 65535
                             << QStringLiteral("interface ipv4 set subinterface 2147483647 mtu=65535 store=persistent");
}

void TestMtu::arguments()
{
    QFETCH(int, index);
    QFETCH(int, mtu);
    QFETCH(QString, commandLine);
    QCOMPARE(Utils::mtuCommandArguments(index, mtu), commandLine.split(QLatin1Char(' ')));
}

void TestMtu::runsNetshWithTheArguments_data()
{
    QTest::addColumn<int>("mtu");
    QTest::addColumn<QString>("expected");
    QTest::newRow("manual") << 1400
                            << QStringLiteral("interface\nipv4\nset\nsubinterface\n12\nmtu=1400\nstore=persistent\n");
    QTest::newRow("auto") << 0
                          << QStringLiteral("interface\nipv4\nset\nsubinterface\n12\nmtu=1500\nstore=persistent\n");
}

void TestMtu::runsNetshWithTheArguments()
{
    QFETCH(int, mtu);
    QFETCH(QString, expected);
    const QString record = bin.filePath(QStringLiteral("argv"));
    QFile::remove(record);
    writeScript(bin.filePath(QStringLiteral("netsh")), "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/argv\"");
    QTest::ignoreMessage(QtInfoMsg, "Utils: 'Set mtu size' command finished with code: 0");
    Utils::setInterfaceMtu(12, mtu);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), expected);
}

void TestMtu::logsTheExitCode()
{
    writeScript(bin.filePath(QStringLiteral("netsh")), "echo 'Element not found.'; exit 1");
    QTest::ignoreMessage(QtInfoMsg, "Utils: 'Set mtu size' command finished with code: 1");
    Utils::setInterfaceMtu(99, 1400);
}

void TestMtu::hangingNetshCostsAtMostTheLimit()
{
    QCOMPARE(Utils::mtuCommandTimeoutMs, 30000);
    writeScript(bin.filePath(QStringLiteral("netsh")), "exec sleep 60");
    QTest::ignoreMessage(
        QtInfoMsg, QRegularExpression(QStringLiteral("^Utils: 'Set mtu size' command finished with code: ")));
    QElapsedTimer timer;
    timer.start();
    Utils::setInterfaceMtu(12, 1400, 300);
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestMtu)
#include "tst_mtu.moc"
