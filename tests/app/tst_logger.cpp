#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QRegularExpression lineShape(
    QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t(debug|info|warning|critical|fatal)\\t(.*)$"));

struct ProbeRun
{
    int exitCode = -1;
    QStringList stdoutLines;
};

} // namespace

// The logger runs in a real process (logger_probe) with its own data folder, because it
// installs a process-wide handler and keeps one file per run.
class TestLogger : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dataHome;
    // The probe's data folder: dataHome itself, or a folder below it.
    QString dataFolder = dataHome.path();

    QString logDir() const
    {
        return QDir(dataFolder).filePath(QStringLiteral("logger_probe/logs"));
    }

    QProcess* startProbe(const QStringList& args)
    {
        auto* process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataFolder);
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(VPN_TEST_BIN_DIR "/logger_probe"), args);
        return process;
    }

    ProbeRun finish(QProcess* process)
    {
        ProbeRun run;
        if (process->waitForFinished(30000) && process->exitStatus() == QProcess::NormalExit) {
            run.exitCode = process->exitCode();
        }
        run.stdoutLines
            = QString::fromLocal8Bit(process->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        process->deleteLater();
        return run;
    }

    ProbeRun probe(const QStringList& args)
    {
        return finish(startProbe(args));
    }

    QStringList logLinesOf(const ProbeRun& run) const
    {
        const QString vpnName = run.stdoutLines.value(0);
        QFile file(QDir(logDir()).filePath(QString(vpnName).replace(QStringLiteral("-vpn"), QStringLiteral("-app"))));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            return {};
        }
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QStringList texts(const QStringList& lines)
    {
        QStringList result;
        for (const QString& line : lines) {
            result << lineShape.match(line).captured(2);
        }
        return result;
    }

private slots:
    void init()
    {
        QDir(logDir()).removeRecursively();
    }

    void linesHaveThreeFields()
    {
        const ProbeRun run = probe({ QStringLiteral("kinds") });
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = logLinesOf(run);
        QCOMPARE(lines.size(), 4);
        const QStringList types = { "debug", "info", "warning", "critical" };
        for (int i = 0; i < lines.size(); ++i) {
            QCOMPARE(lines[i].split(QLatin1Char('\t')).size(), 3);
            const QRegularExpressionMatch match = lineShape.match(lines[i]);
            QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
            QCOMPARE(match.captured(1), types[i]);
            const QDateTime stamp = QDateTime::fromString(
                lines[i].section(QLatin1Char('\t'), 0, 0), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 120);
        }
        QCOMPARE(texts(lines).last(), QStringLiteral("Probe: critical text"));
    }

    void messagesAreSimplified_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("written");
        QTest::newRow("two indented lines") << "  first line   \n\t  second   line  "
                                            << "first line second line";
        QTest::newRow("windows line ends") << "a\r\nb\r\n"
                                           << "a b";
        QTest::newRow("tab inside") << "x\ty"
                                    << "x y";
        QTest::newRow("only blanks") << "   \n \t "
                                     << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void messagesAreSimplified()
    {
        QFETCH(QString, message);
        QFETCH(QString, written);
        const ProbeRun run = probe({ QStringLiteral("lines"), message, QStringLiteral("end") });
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = logLinesOf(run);
        QStringList expected;
        if (!written.isEmpty()) {
            expected << written;
        }
        expected << QStringLiteral("end");
        QCOMPARE(texts(lines), expected);
    }

    void lineFromExitHandlerIsWritten()
    {
        const ProbeRun run = probe({ QStringLiteral("atexit"), QStringLiteral("Probe: last words") });
        QCOMPARE(run.exitCode, 0);
        // Qt's own message pattern is gone by then, so only the text itself is certain.
        QCOMPARE(logLinesOf(run).value(0).section(QLatin1Char('\t'), -1), QStringLiteral("Probe: last words"));
    }

    void separatorLine()
    {
        const ProbeRun run = probe({ QStringLiteral("separator"), QStringLiteral("Kill switch event!") });
        QCOMPARE(
            texts(logLinesOf(run)), QStringList { QStringLiteral("Probe: ========== KILL SWITCH EVENT! ==========") });
    }

    void vpnLogFilePathPairsWithTheRun_data()
    {
        QTest::addColumn<QString>("dataSubfolder");
        QTest::newRow("plain data folder") << QString();
        QTest::newRow("data folder containing -app") << QStringLiteral("my-app-data");
    }
    void vpnLogFilePathPairsWithTheRun()
    {
        QFETCH(QString, dataSubfolder);
        dataFolder = dataSubfolder.isEmpty() ? dataHome.path() : dataHome.filePath(dataSubfolder);
        const auto restore = qScopeGuard([this] {
            dataFolder = dataHome.path();
        });
        init();
        const QDateTime before = QDateTime::currentDateTime();
        const ProbeRun run = probe({ QStringLiteral("vpnpath") });
        QCOMPARE(run.exitCode, 0);
        const QString path = run.stdoutLines.value(1);
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(logDir()).absoluteFilePath());
        const QRegularExpressionMatch match
            = QRegularExpression(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)-vpn\\.log$"))
                  .match(QFileInfo(path).fileName());
        QVERIFY2(match.hasMatch(), qPrintable(path));
        const QDateTime started = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
        QVERIFY(started.secsTo(before) <= 1 && before.secsTo(started) <= 60);
        // The application file of the run is its pair.
        QVERIFY(QFileInfo::exists(QString(path).replace(QStringLiteral("-vpn.log"), QStringLiteral("-app.log"))));
    }

    void unreachableFolderWarns()
    {
        // A file where the data folder should be: neither the log folder nor its pair can exist.
        QFile blocker(dataHome.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        dataFolder = blocker.fileName();
        const auto restore = qScopeGuard([this] {
            dataFolder = dataHome.path();
        });

        QProcess* process = startProbe({ QStringLiteral("vpnpath") });
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitCode(), 0);
        const QString errors = QString::fromLocal8Bit(process->readAllStandardError());
        const QString base = QDir(dataFolder).filePath(QStringLiteral("logger_probe"));
        QVERIFY2(errors.contains(QStringLiteral(
                     "\"Logger\" :  Log folder does not exists or cannot be created:  \"%1\" ,  \"logs\"")
                                     .arg(base)),
            qPrintable(errors));
        QVERIFY2(errors.contains(
                     QStringLiteral("\"Logger\" :  Log folder doesn't exist or cannot be accessed:  \"%1\"").arg(base)),
            qPrintable(errors));
        // No path, not even a bare "-vpn" file name.
        const QStringList out = QString::fromLocal8Bit(process->readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(out.value(1), QString());
        process->deleteLater();
    }

    void cleanupKeepsNineNewest()
    {
        QDir dir;
        QVERIFY(dir.mkpath(logDir()));
        QVERIFY(dir.mkpath(logDir() + QStringLiteral("/archive.log")));
        const QDateTime now = QDateTime::currentDateTime();
        auto makeFile = [this](const QString& name, const QDateTime& time) {
            QFile file(QDir(logDir()).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old\n");
            file.flush(); // a later flush would stamp the file with the current time
            QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
        };
        QStringList oldLogs;
        for (int age = 1; age <= 12; ++age) {
            // Alternate application and OpenVPN logs: they count together.
            const QString name = QStringLiteral("2020-01-01_00-00-%1-%2.log")
                                     .arg(age, 2, 10, QLatin1Char('0'))
                                     .arg(age % 2 ? "app" : "vpn");
            makeFile(name, now.addSecs(-3600 * age));
            oldLogs << name;
        }
        makeFile(QStringLiteral("notes.txt"), now.addDays(-30));
        makeFile(QStringLiteral("older.txt"), now.addDays(-31));
        makeFile(QStringLiteral("backup.tar.log"), now.addDays(-32));

        const ProbeRun run = probe({ QStringLiteral("lines"), QStringLiteral("fresh") });
        QCOMPARE(run.exitCode, 0);

        const QStringList files = QDir(logDir()).entryList(QDir::Files, QDir::Name);
        for (int i = 0; i < oldLogs.size(); ++i) {
            QCOMPARE(files.contains(oldLogs[i]), i < 9);
        }
        QVERIFY(files.contains(QStringLiteral("notes.txt")));
        QVERIFY(files.contains(QStringLiteral("older.txt")));
        QVERIFY(files.contains(QStringLiteral("backup.tar.log")));
        QVERIFY(QFileInfo(QDir(logDir()).filePath(QStringLiteral("archive.log"))).isDir());
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("-app\\.log$|-vpn\\.log$"))).size(), 10);
    }

    void twoStartsInOneSecondShareTheFile()
    {
        // Two processes started together usually start within one second; try a few times.
        for (int attempt = 0; attempt < 5; ++attempt) {
            init();
            QProcess* first = startProbe({ QStringLiteral("lines"), QStringLiteral("run one") });
            QProcess* second = startProbe({ QStringLiteral("lines"), QStringLiteral("run two") });
            const ProbeRun a = finish(first);
            const ProbeRun b = finish(second);
            QCOMPARE(a.exitCode, 0);
            QCOMPARE(b.exitCode, 0);
            if (a.stdoutLines.value(0) != b.stdoutLines.value(0)) {
                continue;
            }
            QStringList lines = texts(logLinesOf(a));
            lines.sort();
            QCOMPARE(lines, (QStringList { QStringLiteral("run one"), QStringLiteral("run two") }));
            QCOMPARE(QDir(logDir()).entryList(QDir::Files).size(), 1);
            return;
        }
        QSKIP("the two runs never started within the same second");
    }

    void threadsNeverInterleave()
    {
        const ProbeRun run = probe({ QStringLiteral("threads"), QStringLiteral("4"), QStringLiteral("500") });
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = logLinesOf(run);
        QCOMPARE(lines.size(), 2000);
        const QRegularExpression text(
            QStringLiteral("^Worker[0-3]: line \\d+ of a message long enough to be written in more than one piece$"));
        for (const QString& line : lines) {
            const QRegularExpressionMatch match = lineShape.match(line);
            QVERIFY2(match.hasMatch() && text.match(match.captured(2)).hasMatch(), qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
