#include "toolfolder.h"
#include "update/update.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Collects the messages the process logs while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        current = this;
        previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    QStringList lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        static const char* const names[] = { "debug", "warning", "critical", "fatal", "info" };
        current->lines << QStringLiteral("%1 %2").arg(QLatin1String(names[type]), message);
    }
    static LogCapture* current;
    QtMessageHandler previous = nullptr;
};
LogCapture* LogCapture::current = nullptr;

QString noUpdateLine()
{
    return QStringLiteral("info Update: There are currently no updates available");
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void toolLocation();
    void checkResult_data();
    void checkResult();
    void noResult_data();
    void noResult();
    void hangingToolIsKilled();
    void missingTool();
    void startUpdater_data();
    void startUpdater();
    void currentVersion_data();
    void currentVersion();
    void banner_data();
    void banner();
};

void TestUpdate::toolLocation()
{
    Update update;
    QCOMPARE(update.objectName(), QStringLiteral("Update"));
    QCOMPARE(Update::toolFileName(), QStringLiteral("maintenancetool.exe"));
    QCOMPARE(update.toolPath(), QCoreApplication::applicationDirPath() + QStringLiteral("/maintenancetool.exe"));
    update.setToolFolder(QStringLiteral("/opt/korvex"));
    QCOMPARE(update.toolPath(), QStringLiteral("/opt/korvex/maintenancetool.exe"));
}

void TestUpdate::checkResult_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("expected");

    QTest::newRow("marker alone") << QByteArray("none") << QString();
    QTest::newRow("marker with a version attribute")
        << QByteArray("raw\nThere are currently no updates available\n<update name=\"a\" version=\"2.0.1\"/>\n")
        << QString();
    QTest::newRow("marker in other case is no marker")
        << QByteArray("raw\nthere are currently no updates available <update version=\"2.0.1\"/>\n")
        << QStringLiteral("2.0.1");
    QTest::newRow("one version") << QByteArray("update 1.4.3") << QStringLiteral("1.4.3");
    QTest::newRow("several versions, the first wins")
        << QByteArray("update 2.0.1 3.0.0 1.0") << QStringLiteral("2.0.1");
    QTest::newRow("version with letters") << QByteArray("update 1.4.3-beta") << QString();
    QTest::newRow("letters, then a plain version") << QByteArray("update 1.4.3-beta 2.0") << QStringLiteral("2.0");
    QTest::newRow("commas") << QByteArray("update 1,4,3") << QStringLiteral("1,4,3");
    QTest::newRow("neither marker nor version") << QByteArray("raw\nSomething else entirely\n") << QString();
    QTest::newRow("no output") << QByteArray("raw\n") << QString();
    QTest::newRow("UTF-8 around the version")
        << QByteArray("raw\n\xc3\x9c\x62\x65rsicht version=\"3.1\" \xe2\x9c\x93\n") << QStringLiteral("3.1");
}

void TestUpdate::checkResult()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, expected);

    ToolFolder tool;
    QVERIFY(tool.isValid());
    QVERIFY(tool.setAnswer(answer));
    Update update;
    update.setToolFolder(tool.path());
    QSignalSpy results(&update, &Update::newVersionIsAvailable);

    LogCapture log;
    update.checkForUpdates();
    QVERIFY(results.wait(5000));
    QCOMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toString(), expected);

    const QString resultLine = expected.isEmpty()
        ? noUpdateLine()
        : QStringLiteral("info Update: Finished,  new version is available: %1").arg(expected);
    QCOMPARE(log.lines, QStringList({ QStringLiteral("info Update: Checking..."), resultLine }));
}

void TestUpdate::noResult_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QProcess::ProcessError>("error");

    QTest::newRow("crashing tool") << QByteArray("crash") << true << QProcess::Crashed;
    QTest::newRow("tool that cannot be started") << QByteArray("update 9.9") << false << QProcess::FailedToStart;
}

void TestUpdate::noResult()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, executable);
    QFETCH(QProcess::ProcessError, error);

    ToolFolder tool;
    QVERIFY(tool.isValid());
    QVERIFY(tool.setAnswer(answer));
    if (!executable) {
        QVERIFY(QFile::setPermissions(
            tool.path() + QStringLiteral("/maintenancetool.exe"), QFile::ReadOwner | QFile::WriteOwner));
    }
    Update update;
    update.setToolFolder(tool.path());
    QSignalSpy results(&update, &Update::newVersionIsAvailable);

    LogCapture log;
    update.checkForUpdates();
    QProcess* process = update.findChild<QProcess*>();
    QVERIFY(process != nullptr);
    // The result handler runs within the same event that ends the process.
    QTRY_COMPARE_WITH_TIMEOUT(process->state(), QProcess::NotRunning, 5000);
    QCOMPARE(process->error(), error);
    QCOMPARE(results.count(), 0);
    QCOMPARE(log.lines, QStringList { QStringLiteral("info Update: Checking...") });
}

void TestUpdate::hangingToolIsKilled()
{
    qRegisterMetaType<QProcess::ExitStatus>();
    ToolFolder tool;
    QVERIFY(tool.isValid());
    QVERIFY(tool.setAnswer("hang"));
    Update update;
    update.setToolFolder(tool.path());
    QSignalSpy results(&update, &Update::newVersionIsAvailable);

    QElapsedTimer clock;
    clock.start();
    update.checkForUpdates();
    QProcess* process = update.findChild<QProcess*>();
    QVERIFY(process != nullptr);
    QSignalSpy finished(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    QVERIFY(finished.wait(30000));
    const qint64 elapsed = clock.elapsed();
    qInfo("hanging tool killed after %lld ms", elapsed);

    QCOMPARE(finished.first().at(1).value<QProcess::ExitStatus>(), QProcess::CrashExit);
    // A 10 s timer is a coarse one: it may fire up to 5 % early.
    QVERIFY2(elapsed >= 9500 && elapsed < 20000, qPrintable(QString::number(elapsed)));
    QCOMPARE(results.count(), 0);
}

void TestUpdate::missingTool()
{
    ToolFolder empty(false);
    Update update;
    update.setToolFolder(empty.path());
    QSignalSpy results(&update, &Update::newVersionIsAvailable);

    LogCapture log;
    update.checkForUpdates();
    QCOMPARE(
        log.lines, QStringList { QStringLiteral("warning Update: Disabled, 'maintenancetool.exe' does not exists") });
    QVERIFY(update.findChild<QProcess*>() == nullptr);
    QTest::qWait(100);
    QCOMPARE(results.count(), 0);
}

void TestUpdate::startUpdater_data()
{
    QTest::addColumn<bool>("withTool");
    QTest::newRow("tool present") << true;
    QTest::newRow("tool missing") << false;
}

void TestUpdate::startUpdater()
{
    QFETCH(bool, withTool);

    ToolFolder tool(withTool);
    QVERIFY(tool.isValid());
    Update update;
    update.setToolFolder(tool.path());

    LogCapture log;
    update.startUpdater();
    QCOMPARE(log.lines.size(), 1);
    const QRegularExpression pattern(QStringLiteral(
        "^info Update: Maintenance tool with params \\(--updater\\) started: (true|false), pid: (\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(log.lines.first());
    QVERIFY2(match.hasMatch(), qPrintable(log.lines.first()));

    if (!withTool) {
        QCOMPARE(match.captured(1), QStringLiteral("false"));
        QCOMPARE(match.captured(2), QStringLiteral("0"));
        return;
    }
    QCOMPARE(match.captured(1), QStringLiteral("true"));
    // The stand-in records its own process id: the one the client logged.
    QTRY_VERIFY_WITH_TIMEOUT(tool.updaterLog().endsWith('\n'), 5000);
    const QByteArray record = tool.updaterLog();
    QVERIFY2(
        record.contains(" started pid " + match.captured(2).toLatin1() + " with: --updater\n"), record.constData());
    QCOMPARE(record.count('\n'), 1);
}

void TestUpdate::currentVersion_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("critical");

    QTest::newRow("Version 2.0.1") << QByteArray(
        "<?xml version=\"1.0\"?>\n<Packages>\n <ApplicationName>Korvex</ApplicationName>\n"
        " <ApplicationVersion>1.0.0</ApplicationVersion>\n <Package>\n  <Name>korvex</Name>\n"
        "  <Version>2.0.1</Version>\n </Package>\n <Package><Version>3.0</Version></Package>\n"
        "</Packages>\n") << QStringLiteral("2.0.1")
                                   << QString();
    QTest::newRow("only ApplicationVersion")
        << QByteArray("<Packages><ApplicationVersion>1.0.0</ApplicationVersion><Package><Name>k</Name>"
                      "<VersionDate>2020-04-11</VersionDate></Package></Packages>")
        << QString() << QString();
    QTest::newRow("malformed before Version")
        << QByteArray("<Packages><Package><Name>k</Nme><Version>2.0.1</Version></Package></Packages>") << QString()
        << QStringLiteral("critical Update: Cannot parse XML: Opening and ending tag mismatch.");
    QTest::newRow("element inside Version")
        << QByteArray("<Packages><Version><Major>2</Major></Version></Packages>") << QString()
        << QStringLiteral("critical Update: Cannot parse XML: Expected character data.");
    QTest::newRow("empty file") << QByteArray("") << QString()
                                << QStringLiteral("critical Update: Cannot parse XML: Premature end of document.");
    QTest::newRow("missing") << QByteArray() << QString() << QString();
}

void TestUpdate::currentVersion()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(QString, critical);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!content.isNull()) {
        QFile file(folder.filePath(QStringLiteral("components.xml")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    LogCapture log;
    QCOMPARE(Update::currentVersion(folder.path()), expected);
    QCOMPARE(log.lines, critical.isEmpty() ? QStringList() : QStringList { critical });
}

void TestUpdate::banner_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("components.xml with Version 2.0.1")
        << QByteArray("<Packages><Package><Version>2.0.1</Version></Package></Packages>")
        << QStringLiteral("Application: Korvex version 2.0.1");
    QTest::newRow("components.xml missing")
        << QByteArray() << QStringLiteral("^Application: Build date: '[A-Z][a-z]{2} [ \\d]\\d \\d{4}'$");
}

// The banner as the client writes it, from a copy of a program in a folder of its own.
void TestUpdate::banner()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, firstLine);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString probe = folder.filePath(QStringLiteral("bannerprobe"));
    QVERIFY(QFile::copy(QStringLiteral(VPN_TEST_BIN_DIR "/bannerprobe"), probe));
    QVERIFY(QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    if (!content.isNull()) {
        QFile file(folder.filePath(QStringLiteral("components.xml")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    process.setProcessEnvironment(environment);
    process.start(probe, QStringList());
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QStringList lines
        = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

    const QStringList expectedPrefixes { QString(), QStringLiteral("Application: Build date: '"),
        QStringLiteral("Application: Started on "), QStringLiteral("Application: OpenSSL for Qt: ") };
    const int skip = content.isNull() ? 1 : 0;
    QCOMPARE(lines.size(), 4 - skip);
    if (content.isNull()) {
        QVERIFY2(QRegularExpression(firstLine).match(lines.first()).hasMatch(), qPrintable(lines.first()));
    } else {
        QCOMPARE(lines.first(), firstLine);
    }
    for (int i = 1; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).startsWith(expectedPrefixes.at(i + skip)), qPrintable(lines.at(i)));
    }
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
