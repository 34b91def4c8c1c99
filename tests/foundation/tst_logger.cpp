#include "../support/testkit.h"

#include <QDateTime>
#include <QTemporaryDir>

// The logger runs in the probe, a real process: it installs a process-wide handler and keeps one file per run.
class TestLogger : public QObject
{
    Q_OBJECT

    // A folder named like "my-app-data": only the file name pairs the two logs of a run.
    QTemporaryDir data { QDir::tempPath() + "/my-app-data-XXXXXX" };
    const QString logDir = data.filePath("probe/logs");

    QProcess* start(const QStringList& args)
    {
        auto* probe = new QProcess(this);
        probe->start(VPN_TEST_BIN_DIR "/probe", args);
        return probe;
    }
    // The application log of the run, named after the probe's vpnLogFilePath(); empty when it failed.
    static QString finish(QProcess* probe)
    {
        const bool ok = probe->waitForFinished(30000) && probe->exitCode() == 0;
        return ok ? QString(probe->readAllStandardOutput()).section('\n', 0, 0).replace("-vpn.log", "-app.log") : "";
    }

private slots:
    void init()
    {
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        QDir(logDir).removeRecursively();
    }

    void linesHaveThreeSimplifiedFields()
    {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const QString path
            = finish(start({ "kinds", " first line \n\t  second  line ", "a\r\nb\r\n", "  \n \t ", "" }));
        QCOMPARE(QFileInfo(path).absolutePath(), logDir);
        QVERIFY(QDateTime::fromString(QFileInfo(path).fileName(), "yyyy-MM-dd_hh-mm-ss'-app.log'") >= before);
        QStringList lines = logLines(path, 0);
        for (QString& line : lines) {
            QVERIFY(QDateTime::fromString(line.section('\t', 0, 0), "yyyy-MM-dd hh:mm:ss") >= before);
            line = line.section('\t', 1);
        }
        QCOMPARE(lines,
            QStringList({ "debug\tProbe: debug text", "info\tProbe: info text", "warning\tProbe: warning text",
                "critical\tProbe: critical text", "info\tProbe: ========== KILL SWITCH EVENT! ==========",
                "info\tfirst line second line", "info\ta b" }));
    }

    void cleanupKeepsNineOlderLogs()
    {
        // Twelve older runs, named and dated as real ones, newest first (application and OpenVPN logs count
        // together), then older files of another suffix and a folder: only the three oldest runs go.
        QVERIFY(QDir().mkpath(logDir + "/archive.log"));
        QStringList names;
        for (int age = 1; age <= 14; ++age) {
            names << (age > 12 ? QString("backup%1.tar.log").arg(age)
                               : QString("%1-%2.log")
                                     .arg(QDateTime::currentDateTime().addDays(-age).toString("yyyy-MM-dd_hh-mm-ss"))
                                     .arg(age % 2 ? "app" : "vpn"));
            QFile file(logDir + '/' + names.last());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\n") == 4 && file.flush());
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-age), QFileDevice::FileModificationTime));
        }
        QVERIFY(!finish(start({ "fresh" })).isEmpty());
        const QStringList left = QDir(logDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY2(left.contains(names[i]) == (i < 9 || i >= 12), qPrintable(names[i]));
        }
        QCOMPARE(left.size(), 9 + 2 + 1 + 1); // and the folder and the new log
    }

    void lineFromExitHandlerIsWritten()
    {
        // The handler stays installed to the end: a message from an exit handler still reaches the file.
        const QStringList lines = logLines(finish(start({ "atexit", "Probe: last words" })), 0);
        QVERIFY2(!lines.isEmpty() && lines.last().endsWith("Probe: last words"), qPrintable(lines.join('\n')));
    }

    void twoStartsInOneSecondShareTheFile()
    {
        // Two processes started together usually start within one second; try a few times.
        for (int attempt = 0; attempt < 5; ++attempt) {
            init();
            QProcess* first = start({ "run one" });
            const QString path = finish(start({ "run two" }));
            if (path == finish(first) && !path.isEmpty()) {
                const QStringList texts = logLines(logDir);
                QVERIFY(texts.size() == 2 && texts.contains("info\trun one") && texts.contains("info\trun two"));
                QCOMPARE(QDir(logDir).entryList(QDir::Files).size(), 1);
                return;
            }
        }
        QSKIP("the two runs never started within the same second");
    }

    void threadsNeverInterleave()
    {
        const QStringList texts = logLines(finish(start({ "threads", "4", "500" })));
        const QString line
            = "^info\\tWorker[0-3]: line \\d+ of a message long enough to be written in more than one piece$";
        QCOMPARE(texts.filter(QRegularExpression(line)).size(), 2000);
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
