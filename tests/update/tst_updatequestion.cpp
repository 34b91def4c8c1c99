#include "app/application.h"
#include "settings/settings.h"
#include "toolfolder.h"
#include "update/update.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QMessageBox>
#include <QPointer>
#include <QtTest>

#include <memory>

namespace {

constexpr int stillRunning = 7;
constexpr int noAnswer = 99;

// What the question box looked like when the hook saw it.
struct SeenBox
{
    int shown = 0;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QList<QMessageBox::ButtonRole> roles;
};

} // namespace

class TestUpdateQuestion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startUpCheck();
    void emptyVersionShowsNoBox();
    void answer_data();
    void answer();
    void destructorDropsUpdate();

private:
    QString logText() const;

    QTemporaryDir dataHome;
    std::unique_ptr<Application> application;
    QPointer<Update> update;
};

void TestUpdateQuestion::initTestCase()
{
    // The log file of the run and the settings store go below folders of this test's own.
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QDir(dataHome.path()).filePath(QStringLiteral("config")).toLocal8Bit());
    Settings::instance()->setAutoUpdateEnabled(true);
    application = std::make_unique<Application>();
    QVERIFY(application->mainWindow() != nullptr);
    update = application->findChild<Update*>();
    QVERIFY(update != nullptr);
}

void TestUpdateQuestion::cleanupTestCase()
{
    application.reset();
}

QString TestUpdateQuestion::logText() const
{
    QDirIterator it(dataHome.path(), { QStringLiteral("*-app.log") }, QDir::Files, QDirIterator::Subdirectories);
    QString text;
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly)) {
            text += QString::fromUtf8(file.readAll());
        }
    }
    return text;
}

// With automatic updates on, start-up asks the tool beside the executable, which this test's
// folder does not have.
void TestUpdateQuestion::startUpCheck()
{
    if (!application->isInitialized()) {
        QSKIP("No VPN adapter here: start-up ends before the update check");
    }
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/maintenancetool.exe")));
    QVERIFY(logText().contains(QStringLiteral("\twarning\tUpdate: Disabled, 'maintenancetool.exe' does not exists\n")));
}

void TestUpdateQuestion::emptyVersionShowsNoBox()
{
    int shown = 0;
    application->setUpdateQuestionHook([&shown](QMessageBox& box) {
        ++shown;
        QTimer::singleShot(0, &box, &QWidget::close);
    });
    application->newVersionIsAvailable(QString());
    QCOMPARE(shown, 0);
}

void TestUpdateQuestion::answer_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("afterCheck");
    QTest::addColumn<bool>("quits");

    QTest::newRow("Skip") << QStringLiteral("Skip") << false << false;
    QTest::newRow("box closed") << QString() << false << false;
    QTest::newRow("Update") << QStringLiteral("Update") << false << true;
    QTest::newRow("Skip after a check") << QStringLiteral("Skip") << true << false;
    QTest::newRow("Update after a check") << QStringLiteral("Update") << true << true;
}

// Runs the event loop as the client does, offers version 2.0.1 and answers the box.
void TestUpdateQuestion::answer()
{
    QFETCH(QString, choice);
    QFETCH(bool, afterCheck);
    QFETCH(bool, quits);

    ToolFolder tool;
    QVERIFY(tool.isValid());
    QVERIFY(tool.setAnswer("update 2.0.1"));
    update->setToolFolder(tool.path());
    const int logStart = logText().size();

    SeenBox seen;
    QTimer stop;
    stop.setSingleShot(true);
    connect(&stop, &QTimer::timeout, this, [] {
        QCoreApplication::exit(stillRunning);
    });
    application->setUpdateQuestionHook([&](QMessageBox& box) {
        ++seen.shown;
        seen.text = box.text();
        seen.title = box.windowTitle();
        seen.icon = box.icon();
        for (QAbstractButton* button : box.buttons()) {
            seen.buttons << button->text();
            seen.roles << box.buttonRole(button);
            if (button->text() == choice) {
                QTimer::singleShot(0, button, &QAbstractButton::click);
            }
        }
        if (choice.isEmpty()) {
            QTimer::singleShot(0, &box, &QWidget::close);
        }
        // Once answered, the client either has quit or gets a moment to show it keeps running.
        connect(&box, &QDialog::finished, &stop, [&stop] {
            stop.start(300);
        });
    });
    QTimer safety;
    safety.setSingleShot(true);
    connect(&safety, &QTimer::timeout, this, [] {
        QCoreApplication::exit(noAnswer);
    });
    safety.start(20000);

    QTimer::singleShot(0, this, [this, afterCheck] {
        if (afterCheck) {
            update->checkForUpdates();
        } else {
            application->newVersionIsAvailable(QStringLiteral("2.0.1"));
        }
    });
    const int result = QCoreApplication::exec();
    application->setUpdateQuestionHook(nullptr);

    QCOMPARE(seen.shown, 1);
    QCOMPARE(seen.text, QStringLiteral("New version found.\nDo you want to update to version 2.0.1?"));
    QCOMPARE(seen.buttons, QStringList({ QStringLiteral("Update"), QStringLiteral("Skip") }));
    QCOMPARE(seen.roles, QList<QMessageBox::ButtonRole>({ QMessageBox::YesRole, QMessageBox::NoRole }));
    QCOMPARE(seen.title, QString());
    QCOMPARE(seen.icon, QMessageBox::NoIcon);

    QCOMPARE(result, quits ? 0 : stillRunning);
    const QString log = logText().mid(logStart);
    QCOMPARE(log.contains(QStringLiteral("\tUpdate: Checking...\n")), afterCheck);
    if (!quits) {
        QTest::qWait(200);
        QCOMPARE(tool.updaterLog(), QByteArray());
        QVERIFY(!log.contains(QStringLiteral("Close app and start installer")));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(tool.updaterLog().contains("with: --updater\n"), 5000);
    const int closing = log.indexOf(QStringLiteral("\tApplication: Close app and start installer\n"));
    const int started
        = log.indexOf(QStringLiteral("\tUpdate: Maintenance tool with params (--updater) started: true, pid: "));
    QVERIFY2(closing >= 0 && started > closing, qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("Close app and start installer")), 1);
}

void TestUpdateQuestion::destructorDropsUpdate()
{
    QVERIFY(update != nullptr);
    application.reset();
    QVERIFY(update.isNull());
    const QString log = logText();
    const int quitLine = log.lastIndexOf(QStringLiteral("\tApplication: Request to quit\n"));
    QVERIFY(quitLine >= 0);
    QVERIFY(log.indexOf(QStringLiteral("\tApplication: Stopped\n"), quitLine) > quitLine);
}

QTEST_MAIN(TestUpdateQuestion)
#include "tst_updatequestion.moc"
