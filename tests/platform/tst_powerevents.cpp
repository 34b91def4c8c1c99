// logind's PrepareForSleep through a private bus standing in for the system bus: accepted only
// from the owner of logind's name.
#include "platform/powerevents.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestPowerEvents : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QProcess bus;
    std::unique_ptr<PowerEvents> power;

    static bool standIn(const QStringList& arguments)
    {
        return QProcess::execute(QStringLiteral(VPN_TEST_BIN_DIR "/logind-standin"), arguments) == 0;
    }

private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            QSKIP("dbus-daemon is not installed");
        }
        const QString socket = folder.filePath(QStringLiteral("bus"));
        bus.start(daemon,
            { QStringLiteral("--config-file=" PRIVATE_BUS_CONFIG), QStringLiteral("--address=unix:path=") + socket,
                QStringLiteral("--nofork"), QStringLiteral("--print-address") });
        QVERIFY(bus.waitForReadyRead(10000));
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", QFile::encodeName(QStringLiteral("unix:path=") + socket));
        power = std::make_unique<PowerEvents>();
        QVERIFY(power->isWatching());
    }
    void cleanupTestCase()
    {
        power.reset();
        bus.kill();
        bus.waitForFinished();
    }

    // Each row's signal is followed by an owned "sleep" as a fence: once that has come, the row's
    // own has come too, or never will.
    void prepareForSleep_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("sleeps");
        QTest::addColumn<int>("resumes");
        QTest::newRow("going to sleep") << QStringList { "sleep" } << 1 << 0;
        QTest::newRow("woke up") << QStringList { "resume" } << 0 << 1;
        QTest::newRow("not from logind") << QStringList { "resume", "--unowned" } << 0 << 0;
    }
    void prepareForSleep()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, sleeps);
        QFETCH(int, resumes);
        QSignalSpy asleep(power.get(), &PowerEvents::aboutToSleep);
        QSignalSpy awake(power.get(), &PowerEvents::resumed);
        QVERIFY(standIn(arguments));
        QVERIFY(standIn({ QStringLiteral("sleep") }));
        QTRY_COMPARE(asleep.count(), sleeps + 1);
        QCOMPARE(awake.count(), resumes);
    }
};

QTEST_GUILESS_MAIN(TestPowerEvents)
#include "tst_powerevents.moc"
