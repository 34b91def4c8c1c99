#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

// The client itself, started with the development host's commands replaced by fakes on PATH.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void withoutAdapterTheClientExits();
    void adaptersAreLoggedAndTheServiceCheckedLast();
    void sceneWithoutRootObjectExitsWithMinusOne();
    void secondStartShowsTheFirst();

private:
    void start();
    QProcessEnvironment environment() const;
    void fakeAdapters();
    QStringList logLines() const;

    QTemporaryDir home;
    QProcess client;
};

void TestStartup::init()
{
    QVERIFY(home.isValid());
    QDir(home.path()).removeRecursively();
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("bin"))));
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("tmp"))));
}

void TestStartup::cleanup()
{
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished(10000);
    }
}

QProcessEnvironment TestStartup::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), home.filePath(QStringLiteral("bin")) + QStringLiteral(":/usr/bin:/bin"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    // The single-instance lock lives in the temporary folder: one of our own.
    env.insert(QStringLiteral("TMPDIR"), home.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    return env;
}

void TestStartup::fakeAdapters()
{
    writeScript(home.filePath(QStringLiteral("bin/route")),
        QByteArray("cat '") + VPN_TEST_DATA_DIR + "/connection/route-two-adapters.txt'");
    writeScript(home.filePath(QStringLiteral("bin/wmic.exe")),
        QByteArray("cat '") + VPN_TEST_DATA_DIR + "/app/wmic-processes.txt'");
}

void TestStartup::start()
{
    client.setProcessEnvironment(environment());
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start(QStringLiteral(VPN_APP_DIR "/vpnclient"), QStringList());
    QVERIFY(client.waitForStarted(10000));
}

QStringList TestStartup::logLines() const
{
    const QDir logs(home.filePath(QStringLiteral("data/vpnclient/logs")));
    const QStringList files = logs.entryList({ QStringLiteral("*-app.log") }, QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        return {};
    }
    QFile file(logs.filePath(files.last()));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        lines << line.section(QLatin1Char('\t'), 1); // type and text, without the time
    }
    return lines;
}

void TestStartup::withoutAdapterTheClientExits()
{
    writeScript(home.filePath(QStringLiteral("bin/route")),
        "echo 'Interface List'; echo '  1...........................Software Loopback Interface 1'");
    start();
    QVERIFY(client.waitForFinished(60000));
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 255); // -1

    const QStringList lines = logLines();
    const int critical = lines.indexOf(QStringLiteral("critical\tMain: Critical error, exiting..."));
    QVERIFY2(critical > 0, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.mid(critical + 1).filter(QStringLiteral("\tApplication: ")),
        QStringList(
            { QStringLiteral("info\tApplication: Request to quit"), QStringLiteral("info\tApplication: Stopped") }));
    QCOMPARE(lines.last(), QStringLiteral("info\tApplication: Stopped"));
    QVERIFY(lines.filter(QStringLiteral("VPN interface")).isEmpty());
    QVERIFY(lines.filter(QStringLiteral("vpn-service is running")).isEmpty());
}

void TestStartup::adaptersAreLoggedAndTheServiceCheckedLast()
{
    fakeAdapters();
    start();

    const QString last = QStringLiteral("info\tApplication: vpn-service is running: true");
    QElapsedTimer timer;
    timer.start();
    while (!logLines().contains(last) && timer.elapsed() < 60000 && client.state() == QProcess::Running) {
        QTest::qWait(100);
    }
    QStringList lines = logLines();
    QVERIFY2(lines.contains(last), qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(client.state(), QProcess::Running);

    lines = lines.mid(lines.indexOf(
        QStringLiteral("info\tNetworkInterfaces: Detected VPN interface, id: 19, name: 'TAP-Windows Adapter V9'")));
    QCOMPARE(lines.value(1),
        QStringLiteral("info\tNetworkInterfaces: Detected VPN interface, id: 23, name: 'TAP-Windows Adapter V9 #2'"));
    // The service check is the constructor's last line; only results of requests it made may follow.
    const QStringList after = lines.mid(lines.indexOf(last) + 1);
    QVERIFY2(after.filter(QStringLiteral("\tApplication: ")).isEmpty(), qPrintable(after.join(QLatin1Char('\n'))));
    QVERIFY(lines.indexOf(last) > 1);
}

void TestStartup::sceneWithoutRootObjectExitsWithMinusOne()
{
    // The client's entry point linked without its QML scene.
    fakeAdapters();
    QProcess noScene;
    QProcessEnvironment env = environment();
    noScene.setProcessEnvironment(env);
    noScene.start(QStringLiteral(VPN_TEST_BIN_DIR "/client_noqml"), QStringList());
    QVERIFY(noScene.waitForFinished(60000));
    QCOMPARE(noScene.exitStatus(), QProcess::NormalExit);
    QCOMPARE(noScene.exitCode(), 255);

    QFile log;
    const QDir logs(home.filePath(QStringLiteral("data/client_noqml/logs")));
    const QStringList files = logs.entryList({ QStringLiteral("*-app.log") }, QDir::Files);
    QCOMPARE(files.size(), 1);
    log.setFileName(logs.filePath(files.first()));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QStringList texts;
    for (const QString& line : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        texts << line.section(QLatin1Char('\t'), 1);
    }
    // Banner: no components.xml beside this program, so three lines.
    QVERIFY2(texts.size() >= 6, qPrintable(texts.join(QLatin1Char('\n'))));
    QVERIFY(QRegularExpression(QStringLiteral("^info\\tApplication: Build date: '[A-Z][a-z]{2} \\d{1,2} \\d{4}'$"))
                .match(texts[0])
                .hasMatch());
    QVERIFY(texts[1].startsWith(QStringLiteral("info\tApplication: Started on ")));
    QVERIFY(texts[2].startsWith(QStringLiteral("info\tApplication: OpenSSL for Qt: ")));
    const int critical = texts.indexOf(QStringLiteral("critical\tMain: Critical error, exiting..."));
    QVERIFY(critical > 2);
    QCOMPARE(texts.mid(critical + 1).filter(QStringLiteral("\tApplication: ")),
        QStringList(
            { QStringLiteral("info\tApplication: Request to quit"), QStringLiteral("info\tApplication: Stopped") }));
    QCOMPARE(texts.last(), QStringLiteral("info\tApplication: Stopped"));
}

void TestStartup::secondStartShowsTheFirst()
{
    fakeAdapters();
    start();
    const QString ready = QStringLiteral("info\tApplication: vpn-service is running: true");
    QTRY_VERIFY_WITH_TIMEOUT(logLines().contains(ready), 60000);

    QProcess second;
    second.setProcessEnvironment(environment());
    second.start(QStringLiteral(VPN_APP_DIR "/vpnclient"), QStringList());
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(logLines().contains(QStringLiteral("info\tApplication: Message to show app")), 10000);
    QCOMPARE(client.state(), QProcess::Running);
    // The second start opened no log file of its own.
    QCOMPARE(QDir(home.filePath(QStringLiteral("data/vpnclient/logs")))
                 .entryList({ QStringLiteral("*-app.log") }, QDir::Files)
                 .size(),
        1);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
