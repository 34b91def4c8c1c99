#include "testkit.h"

#include <QTemporaryDir>

// The client itself, with the development host's commands replaced by stand-ins on PATH.
class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    const QByteArray twoAdapters = "cat '" VPN_TEST_DATA_DIR "/connection/route-two-adapters.txt'";

    QProcess* start(const QStringList& command, const QByteArray& route)
    {
        writeScript(home.filePath("bin/route"), route);
        auto* client = new QProcess(this);
        client->setProcessChannelMode(QProcess::ForwardedChannels);
        client->start(command.first(), command.mid(1));
        return client;
    }

private slots:
    void initTestCase()
    {
        qputenv("PATH", home.filePath("bin").toLocal8Bit() + ":/usr/bin:/bin");
        qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
        qputenv("TMPDIR", home.path().toLocal8Bit()); // where the single-instance lock lives
        QVERIFY(QDir().mkpath(home.filePath("bin")));
        writeScript(home.filePath("bin/wmic.exe"), "cat '" VPN_TEST_DATA_DIR "/app/wmic-processes.txt'");
    }

    void exitsWithMinusOne_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("route");
        QTest::newRow("no adapter") << QStringList { VPN_APP_DIR "/vpnclient" }
                                    << QByteArray("echo ' 1.....Software Loopback Interface 1'");
        QTest::newRow("no root object") << QStringList { VPN_TEST_BIN_DIR "/probe", "client" } << twoAdapters;
    }
    void exitsWithMinusOne()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, route);
        QProcess* client = start(command, route);
        QVERIFY(client->waitForFinished(60000));
        QCOMPARE(client->exitCode(), 255);
        const QStringList texts = logTexts(home.filePath("data/" + QFileInfo(command.first()).fileName() + "/logs"));
        const int banner
            = texts.indexOf(QRegularExpression("^info\tApplication: Build date: '\\w{3} \\d{1,2} \\d{4}'$"));
        QVERIFY2(banner == 0 || banner == 1, qPrintable(texts.join('\n'))); // after the version, if any
        QVERIFY(texts.value(banner + 1).startsWith("info\tApplication: Started on "));
        QVERIFY(texts.value(banner + 2).startsWith("info\tApplication: OpenSSL for Qt: "));
        const int critical = texts.indexOf("critical\tMain: Critical error, exiting...");
        QVERIFY(critical > banner + 2);
        QCOMPARE(texts.mid(critical + 1).filter("\tApplication: "),
            QStringList({ "info\tApplication: Request to quit", "info\tApplication: Stopped" }));
        QCOMPARE(texts.last(), QString("info\tApplication: Stopped"));
        QCOMPARE(texts.filter("Detected VPN interface").isEmpty(), route != twoAdapters);
    }

    void secondStartShowsTheFirst()
    {
        QDir(home.filePath("data")).removeRecursively();
        QProcess* client = start({ VPN_APP_DIR "/vpnclient" }, twoAdapters);
        const QString logs = home.filePath("data/vpnclient/logs");
        const QString last = "info\tApplication: vpn-service is running: true";
        QTRY_VERIFY_WITH_TIMEOUT(logTexts(logs).contains(last), 60000);
        const QStringList texts = logTexts(logs);
        const int detected
            = texts.indexOf("info\tNetworkInterfaces: Detected VPN interface, id: 19, name: 'TAP-Windows Adapter V9'");
        QCOMPARE(texts.value(detected + 1),
            QString("info\tNetworkInterfaces: Detected VPN interface, id: 23, name: 'TAP-Windows Adapter V9 #2'"));
        // The service check is the constructor's last line; only results of requests it made may follow.
        QVERIFY(texts.indexOf(last) > detected + 1
            && texts.mid(texts.indexOf(last) + 1).filter("\tApplication: ").isEmpty());

        QProcess* second = start({ VPN_APP_DIR "/vpnclient" }, twoAdapters);
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        QTRY_VERIFY(logTexts(logs).contains("info\tApplication: Message to show app"));
        QCOMPARE(client->state(), QProcess::Running);
        QCOMPARE(QDir(logs).entryList(QDir::Files).size(), 1); // the second start logged nothing
        delete client;
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
