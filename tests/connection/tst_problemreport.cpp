#include "../support/fakeservice.h"
#include "../support/testkit.h"
#include "connection/problemreport.h"
#include "connection/vpncore.h"
#include "foundation/logger.h"
#include "service/servicelogquery.h"
#include "settings/settings.h"

#include <QSignalSpy>
#include <QtTest>

// The problem report as the window and the command line write it: real settings store, log files
// and management secret file, the service's answer to "query: log" from the in-process fake of the
// service through the real query; read back with the system's tar.
class TestProblemReport : public QObject
{
    Q_OBJECT

    TemporaryProfile profile;
    const QString password = "Planted-Passw0rd";
    const QString userName = "planted-user";
    const QString managementSecret = "5ec7e75ec7e75ec7e75ec7e75ec7e75e";
    const QString publicAddress = "203.0.113.77";

    static QString tar(const QStringList& arguments)
    {
        QProcess process;
        process.start("tar", arguments);
        return process.waitForFinished(10000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
    }

private slots:
    void initTestCase()
    {
        qputenv("TMPDIR", QFile::encodeName(profile.filePath("tmp")));
        qputenv("HOME", QFile::encodeName(profile.filePath("home")));
        QVERIFY(QDir().mkpath(profile.filePath("tmp")) && QDir().mkpath(profile.filePath("home")));
        QVERIFY(Logger::instance()->initialize());
        Settings::instance()->setPassword(password);
        Settings::instance()->setUserName(userName);
        Settings::instance()->setKillswitchEnabled(true);
        Settings::instance()->save();
        QFile secretFile(profile.filePath("tmp/vpn-management-abc123"));
        QVERIFY(secretFile.open(QIODevice::WriteOnly) && secretFile.write(managementSecret.toUtf8() + "\n") > 0);
        secretFile.close();
        // What a log might hold by mistake, planted once each.
        const QStringList enciphered = Settings::instance()->storedCredentials();
        QVERIFY(!enciphered.at(0).isEmpty() && !enciphered.at(0).contains(password));
        qInfo() << "planted:" << password << userName << enciphered << managementSecret << QDir::homePath() + "/x.ovpn";
        qInfo().noquote() << "NetworkApi: Network request 'geoip' finished, IP: " + publicAddress + " , country DE";
    }

    void report_data()
    {
        QTest::addColumn<bool>("includeAddresses");
        QTest::newRow("public addresses left out") << false;
        QTest::newRow("public addresses agreed to") << true;
    }
    void report()
    {
        QFETCH(bool, includeAddresses);
        FakeService service;
        service.userLog
            = QStringList { "service line about " + userName + " in " + QDir::homePath(), "its second line" };
        VpnCore core(&service);
        ServiceLogQuery query(&service);
        ProblemReport report(&core, [&query](QObject*, const ServiceLogQuery::Done& done) {
            query.ask(done);
        });
        QSignalSpy written(&report, &ProblemReport::written);
        const QString path = profile.filePath(QString("report-%1.tar").arg(includeAddresses));
        report.write(path, includeAddresses);
        QVERIFY(written.wait(10000));
        QCOMPARE(written.at(0).at(0).toString() + written.at(0).at(1).toString(), path);

        const QStringList listing = tar({ "-tf", path }).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(listing.mid(0, 4),
            QStringList({ "report/versions.txt", "report/state.txt", "report/settings.txt", "report/service.log" }));
        QVERIFY(!listing.filter(QRegularExpression("^report/logs/.*-app\\.log$")).isEmpty());
        const QString all = tar({ "-xOf", path });
        QVERIFY(all.contains("service: 9.8.7") && all.contains("its second line"));
        QVERIFY(all.contains("network lock: setting yes, engaged no") && all.contains("killswitchEnabled = true"));
        QVERIFY(!all.contains("password") && !all.contains("userName"));
        const QByteArray raw = readBytes(path);
        for (const QString& secret : Settings::instance()->storedCredentials()
                + QStringList { password, userName, managementSecret, QDir::homePath() }) {
            QVERIFY2(!raw.contains(secret.toUtf8()), qPrintable(secret));
        }
        QCOMPARE(raw.contains(publicAddress.toUtf8()), includeAddresses);
    }

    // The query collects the lines until the end line, which carries the service's version; lines of
    // other kinds in between are not the answer's; two questions at once are asked once.
    void serviceLogQuery()
    {
        FakeService service;
        service.answers = false;
        ServiceLogQuery query(&service);
        QStringList answers;
        for (int i = 0; i < 2; ++i) {
            query.ask([&answers](const QStringList& lines, const QString& version) {
                answers << lines.join('|') + " v" + version;
            });
        }
        QCOMPARE(service.sent.filter("query: log"), QStringList { "query: log" });
        for (const char* line : { "userlog:first", "finished:7,0,dns", "userlog:second", "userlog-end:2,1.2.3" }) {
            service.play(line);
        }
        QCOMPARE(answers, QStringList({ "first|second v1.2.3", "first|second v1.2.3" }));
    }
};

QTEST_GUILESS_MAIN(TestProblemReport)
#include "tst_problemreport.moc"
