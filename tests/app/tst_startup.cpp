#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// Start-up of the client as a real process, in a private home and data folder.
class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        return env;
    }

    QStringList logTexts(const QString& appName) const
    {
        QDir dir(home.filePath(QStringLiteral("data/%1/logs").arg(appName)));
        const QStringList files = dir.entryList({ QStringLiteral("*-app.log") }, QDir::Files, QDir::Time);
        if (files.isEmpty()) {
            return {};
        }
        QFile file(dir.filePath(files.first()));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            return {};
        }
        QStringList texts;
        for (const QString& line :
            QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            texts << line.section(QLatin1Char('\t'), 1);
        }
        return texts;
    }

private slots:
    void sceneWithoutRootObjectExitsWithMinusOne()
    {
        QProcess client;
        client.setProcessEnvironment(environment());
        client.start(QStringLiteral(VPN_TEST_BIN_DIR "/client_noqml"), QStringList());
        QVERIFY(client.waitForFinished(60000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 255);

        const QStringList texts = logTexts(QStringLiteral("client_noqml"));
        QVERIFY2(texts.size() >= 6, qPrintable(texts.join(QLatin1Char('\n'))));
        QVERIFY(QRegularExpression(QStringLiteral("^info\\tApplication: Build date: '[A-Z][a-z]{2} +\\d{1,2} \\d{4}'$"))
                    .match(texts[0])
                    .hasMatch());
        QVERIFY(texts[1].startsWith(QStringLiteral("info\tApplication: Started on ")));
        QVERIFY(texts[2].startsWith(QStringLiteral("info\tApplication: OpenSSL for Qt: ")));
        const int critical = texts.indexOf(QStringLiteral("critical\tMain: Critical error, exiting..."));
        QVERIFY(critical > 2);
        QCOMPARE(texts.mid(critical + 1),
            (QStringList {
                QStringLiteral("info\tApplication: Request to quit"), QStringLiteral("info\tApplication: Stopped") }));
    }

    void secondStartShowsTheFirst()
    {
        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(QStringLiteral(VPN_APP_DIR "/vpnclient"), QStringList());
        QVERIFY(first.waitForStarted());
        // The first instance is ready once its scene is up and its start-up lines are written.
        QTRY_VERIFY_WITH_TIMEOUT(logTexts(QStringLiteral("vpnclient")).size() >= 3, 30000);
        QTest::qWait(500);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(VPN_APP_DIR "/vpnclient"), QStringList());
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            logTexts(QStringLiteral("vpnclient")).contains(QStringLiteral("info\tApplication: Message to show app")),
            10000);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
