#include "../support/logcapture.h"
#include "../support/testkit.h"
#include "app/application.h"
#include "foundation/logger.h"
#include "settings/settings.h"
#include "update/update.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

// The development host's maintenance-tool stand-in with its answer, in a folder of its own.
QString toolFolder(const QTemporaryDir& dir, const QByteArray& answer)
{
    const QString tool = dir.filePath(QStringLiteral("maintenancetool.exe"));
    QFile::copy(QStringLiteral(VPN_SOURCE_DIR "/devhost/maintenancetool/maintenancetool.sh"), tool);
    QFile::setPermissions(tool, answer == "not executable" ? QFile::ReadOwner : QFile::ReadOwner | QFile::ExeOwner);
    writeFile(dir.filePath(QStringLiteral("maintenancetool-answer.txt")), answer);
    return dir.path();
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> application;
    QPointer<Update> update;

private slots:
    void initTestCase()
    {
        testlog::capture(true);
    }

    void init()
    {
        testlog::clear();
    }

    void check_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("result"); // "none": no signal
        QTest::newRow("marker, version attribute") << QByteArray("raw\nThere are currently no updates available <update version=\"2.0.1\"/>\n") << "";
        QTest::newRow("marker in other case") << QByteArray("raw\nthere are currently no updates available <update version=\"2.0.1\"/>\n") << "2.0.1";
        QTest::newRow("the first of several") << QByteArray("update 2.0.1 3.0.0 1.0") << "2.0.1";
        QTest::newRow("letters, then digits") << QByteArray("update 1.4.3-beta 2.0") << "2.0";
        QTest::newRow("commas") << QByteArray("update 1,4,3") << "1,4,3";
        QTest::newRow("crash") << QByteArray("crash") << "none";
        QTest::newRow("not executable") << QByteArray("not executable") << "none";
        QTest::newRow("hang") << QByteArray("hang") << "none";
        // clang-format on
    }

    void check()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, result);
        QTemporaryDir dir;
        Update update;
        update.setToolFolder(toolFolder(dir, answer));
        QSignalSpy results(&update, &Update::newVersionIsAvailable);
        update.checkForUpdates();
        QProcess* process = update.findChild<QProcess*>();
        // A tool that never answers is killed at the check's time limit. The result, if any, comes with its end.
        QTRY_VERIFY_WITH_TIMEOUT(!process || process->state() == QProcess::NotRunning, 30000);
        QCOMPARE(results.count() == 1 ? results.first().first().toString() : QString::number(results.count()),
            result == "none" ? "0" : result);
    }

    void currentVersionAndBanner_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Version 2.0.1") << QByteArray("<Packages><ApplicationVersion>1.0.0</ApplicationVersion>"
                                                     "<Package><Version>2.0.1</Version></Package></Packages>") << "2.0.1";
        // The version after the broken tag is not taken.
        QTest::newRow("malformed") << QByteArray("<Packages><Package><Name>k</Nme><Version>2.0.1</Version></Package>") << "";
        QTest::newRow("missing") << QByteArray() << "";
        // clang-format on
    }

    // The banner as the client writes it: from a copy of this program in a folder of its own.
    void currentVersionAndBanner()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        if (!content.isNull()) {
            writeFile(dir.filePath(QStringLiteral("components.xml")), content);
        }
        const QString version = Update::currentVersion(dir.path());
        QCOMPARE(version, expected);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), dir.filePath(QStringLiteral("probe"))));
        QProcess probe;
        probe.start(dir.filePath(QStringLiteral("probe")), { "banner" });
        QVERIFY(probe.waitForFinished(30000));
        QString banner = QString::fromUtf8(probe.readAllStandardError());
        banner = banner.mid(banner.indexOf(QStringLiteral("Application: ")));
        QVERIFY2(banner.startsWith(version.isEmpty() ? "Application: Build date: '"
                                                     : "Application: Korvex version 2.0.1\nApplication: Build date: '"),
            qPrintable(banner));
    }

    // With automatic updates on, start-up asks the tool beside the executable, which is missing here.
    void startUp()
    {
        Settings::instance()->setAutoUpdateEnabled(true);
        application = std::make_unique<Application>();
        QSignalSpy ended(application.get(), &Application::startUpEnded);
        QVERIFY(ended.wait(60000));
        update = application->findChild<Update*>();
        QVERIFY(update);
        QCOMPARE(testlog::lines().contains("warning\tUpdate: Disabled, 'maintenancetool.exe' does not exists"),
            application->isInitialized()); // without a VPN adapter start-up ends before the check
        application->setUpdateQuestionHook([](QMessageBox& box) {
            QTimer::singleShot(0, &box, &QWidget::close);
            QFAIL("a box for no new version");
        });
        application->newVersionIsAvailable(QString());
    }

    void answer_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("afterCheck");
        QTest::newRow("Skip") << "Skip" << false;
        QTest::newRow("box closed") << "" << false;
        QTest::newRow("Update") << "Update" << false;
        QTest::newRow("Update after a check") << "Update" << true;
    }

    // Runs the event loop as the client does, offers version 2.0.1 and answers the box.
    void answer()
    {
        QFETCH(QString, choice);
        QFETCH(bool, afterCheck);
        QTemporaryDir dir;
        update->setToolFolder(toolFolder(dir, "update 2.0.1"));
        QStringList seen;
        QObject context; // ends the timers with the test
        application->setUpdateQuestionHook([&](QMessageBox& box) {
            seen << box.text();
            for (QAbstractButton* button : box.buttons()) {
                seen << button->text() + QString::number(box.buttonRole(button));
                if (button->text() == choice) {
                    QTimer::singleShot(0, button, &QAbstractButton::click);
                }
            }
            if (choice.isEmpty()) {
                QTimer::singleShot(0, &box, &QWidget::close);
            }
            // Answered at once; the client has then either quit or shown for a while that it keeps running.
            QTimer::singleShot(1000, &context, [] {
                qApp->exit(7);
            });
        });
        QTimer::singleShot(0, &context, [&] {
            afterCheck ? update->checkForUpdates() : application->newVersionIsAvailable(QStringLiteral("2.0.1"));
        });
        const int result = QCoreApplication::exec();
        application->setUpdateQuestionHook(nullptr);
        QCOMPARE(
            seen, QStringList({ "New version found.\nDo you want to update to version 2.0.1?", "Update5", "Skip6" }));
        const bool quits = choice == QLatin1String("Update");
        QCOMPARE(result, quits ? 0 : 7);
        const int closing = testlog::lines().indexOf("info\tApplication: Close app and start installer");
        const int started = testlog::lines().indexOf(
            QRegularExpression("^info\tUpdate: Maintenance tool with params .* started: true.*"));
        QVERIFY2(quits ? closing >= 0 && started > closing : closing < 0 && started < 0,
            qPrintable(testlog::lines().join('\n')));
        // The stand-in records its "--updater" starts.
        QFile record(dir.filePath("maintenancetool-updater.log"));
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(record).size() > 0, quits, 5000);
        QVERIFY(!quits || (record.open(QIODevice::ReadOnly) && record.readAll().endsWith(" with: --updater\n")));
    }

    // The destructor drops Update first, so that a late result opens no box.
    void cleanupTestCase()
    {
        application.reset();
        QVERIFY(update.isNull());
    }
};

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "banner") == 0) {
        QCoreApplication app(argc, argv);
        qSetMessagePattern(QStringLiteral("%{message}"));
        Application::writeBanner();
        return 0;
    }
    // The client's log and settings go below folders of this test's own; the capture sees its lines.
    TemporaryProfile profile;
    QApplication app(argc, argv);
    Logger::instance();
    TestUpdate test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_update.moc"
