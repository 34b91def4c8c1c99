// DnsManager's entries from the Windows side's registry data (through the registry door's stand-in),
// and the command lines KillSwitch sends, as they reach the kill switch tool through a real vpn-service.
// Copies of this program in the service's application folder play the client (conn_client) and the two
// tools, which record their arguments.
#include "../support/servicekit.h"
#include "../support/testkit.h"
#include "connection/dnsmanager.h"
#include "connection/killswitch.h"
#include "registryseed.h"
#include "service/servicecontroller.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sched.h>
#include <unistd.h>

namespace {

using registryseed::guid;
using registryseed::seed;

// Each argument is one step over the real service link: "enable INTERNAL PUBLIC 0|1" or "disable";
// answered on stdout by "WORD RESULT ENGAGED" (RESULT: ok or exit code).
int client(const QStringList& steps)
{
    ServiceController controller;
    KillSwitch killSwitch(&controller);
    QSignalSpy lock(&killSwitch, &KillSwitch::killSwitchFinished);
    for (const QString& step : steps) {
        const QStringList w = step.split(' ');
        if (w.at(0) == "enable") {
            killSwitch.enableProtection(w.at(1), w.at(2), w.at(3) == "1");
        } else {
            killSwitch.disableProtection();
        }
        if (!lock.wait(15000)) {
            return 1;
        }
        std::printf(
            "%s %d %d\n", qPrintable(w.at(0)), lock.takeFirst().at(0).toInt(), killSwitch.isProtectionEnabled());
    }
    return 0;
}

} // namespace

class TestConnectionTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        service.terminate();
        service.waitForFinished(15000);
        const QString report = servicekit::sanitizerReport(dir.path());
        QVERIFY2(report.isEmpty(), qPrintable(report));
    }
    void entries_data()
    {
        // "CONNECTIONS => USER ENTRIES", each a list split at "; ". The adapters' names, their TAP flag and
        // a mismatch of the two scans only reach the log.
        QTest::addColumn<QString>("row");
        QTest::newRow("server lists")
            << "E|P1|192.0.2.53,192.0.2.54|-|pci|present; E2|P2|192.0.2.53|2001:db8::53,"
               "2001:db8::54|pci|present; E3|P3|-|-|pci|present; E4|P4|192.0.2.53,192.0.2.54,||pci|present"
               " => A@192.0.2.53,192.0.2.54; B@192.0.2.53,2001:db8::53,2001:db8::54; C@; D@192.0.2.53,192.0.2.54,";
        QTest::newRow("kernel debugger, nameless and missing adapters never appear")
            << "E (Kernel Debugger)|ROOT\\KDNIC\\0000|192.0.2.1||root\\kdnic|present; -|P2|192.0.2.2||pci|present; "
               "E3|P3|192.0.2.3||pci|absent; E4|P4|192.0.2.4||pci|present => D@192.0.2.4";
        // A VPN connection (the TAP driver's device id) is still listed.
        QTest::newRow("TAP adapter")
            << "LAN|ROOT\\NET\\0000|||tap0901|present; LAN 2|P2|192.0.2.9|2001:db8::9,2001:db8::8|"
               "TAP0901|present => A@; B@192.0.2.9,2001:db8::9,2001:db8::8";
        QTest::newRow("IPv4/IPv6 mismatch: nothing") << "E|P|192.0.2.53||pci|present; E2|P|1.2.3.4|x|pci|present => ";
    }
    void entries()
    {
        QFETCH(QString, row);
        const QStringList connections = row.section(" => ", 0, 0).split("; ", Qt::SkipEmptyParts);
        QStringList userEntries = row.section(" => ", 1, 1).split("; ", Qt::SkipEmptyParts);
        seed(connections);
        for (QString& entry : userEntries) {
            entry.replace(0, 1, guid(entry.at(0).unicode() - 'A'));
        }
        // The GUIDs "wmic nic" reports: those of the adapters present, in any case.
        QString wmic = "GUID  \r\n";
        for (int i = 0; i < connections.size(); ++i) {
            wmic += connections.at(i).endsWith("|present") ? guid(i).toLower() + "  \r\n" : QString();
        }
        DnsManager manager;
        QSignalSpy refreshed(&manager, &DnsManager::refreshed);
        manager.useConnections(UserResolvers::readConnections(UserResolvers::parseGuids(wmic)));
        QCOMPARE(refreshed.count(), 1);
        QCOMPARE(manager.userDnsSettings(), userEntries);
        const QStringList vpnEntries = userEntries.replaceInStrings(QRegularExpression("@.*"), "@10.8.0.1,");
        QCOMPARE(manager.vpnDnsSettings("10.8.0.1", QString()), vpnEntries);
        QCOMPARE(manager.vpnDnsSettings("10.8.0.1", "fd00:8::1").value(0),
            vpnEntries.isEmpty() ? QString() : vpnEntries.at(0) + "fd00:8::1");
    }
    void commandLinesReachTheTools_data();
    void commandLinesReachTheTools();

private:
    TemporaryProfile profile;
    QTemporaryDir dir;
    const QString app = QFileInfo(dir.path()).canonicalFilePath() + "/app", records = dir.path() + "/records.txt";
    QProcess service;
};

void TestConnectionTools::initTestCase()
{
    // The service runs only programs of its own folder, for the client of that folder.
    QVERIFY(servicekit::appFolder(app, { "conn_client", "killswitch", "dns" }));
    servicekit::launch(service, app, dir.path()); // the stand-ins record into `records`
    QTRY_VERIFY_WITH_TIMEOUT(servicekit::portAnswers(), 15000);
    QVERIFY(service.state() == QProcess::Running); // the port is this service's
}

void TestConnectionTools::commandLinesReachTheTools_data()
{
    // "CLIENT STEPS => TOOL RUNS (tool|arg|arg..., empty arguments kept) => CLIENT ANSWERS"; lists split
    // at "; ". The resolvers' command lines are tst_vpncoreservice's (pushedDnsPerSession).
    QTest::addColumn<QString>("row");
    QTest::newRow("local devices, then lift")
        << "enable 10.8.0.6 198.51.100.1 1; disable => killswitch|enable|all|198.51.100.1|"
           "local; killswitch|disable|lock => enable 1 1; disable 1 0";
    // The stand-in fails for the server 203.0.113.3.
    QTest::newRow("a failing tool leaves the flag as asked, no local devices")
        << "enable 10.8.0.6 203.0.113.3 0 => killswitch|enable|all|203.0.113.3| => enable 0 1";
}

void TestConnectionTools::commandLinesReachTheTools()
{
    QFETCH(QString, row);
    QStringList steps = row.section(" => ", 0, 0).split("; ");
    const QStringList toolRuns = row.section(" => ", 1, 1).split("; ");
    const QString answers = row.section(" => ", 2, 2).split("; ").join('\n') + '\n';
    QFile::remove(records);

    QProcess client;
    client.start(app + "/conn_client", steps);
    QVERIFY(client.waitForFinished(60000));
    QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
    QCOMPARE(client.readAllStandardOutput(), answers.toUtf8());

    // Beside them, linking up lifts any lock left behind and restores the resolvers ("init: connection",
    // tst_service); those runs may still be under way when the client is done.
    QStringList runs;
    QTRY_VERIFY_WITH_TIMEOUT((runs = servicekit::records(dir.path())).size() >= toolRuns.size() + 3, 10000);
    for (const char* initRun : { "killswitch|disable|lock", "killswitch|disable|tunnel", "dns|user" }) {
        QVERIFY2(runs.removeOne(initRun), initRun);
    }
    QCOMPARE(runs, toolRuns);
}

int main(int argc, char* argv[])
{
    const QString name = QFileInfo(argv[0]).completeBaseName();
    // As root the test gets a loopback of its own, so the service port cannot be another test run's.
    const bool ownNetwork = name.startsWith("tst_") && ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0;
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (name == "killswitch" || name == "dns") { // a stand-in: records "NAME|ARG|ARG..."
        QFile record(qEnvironmentVariable("VPN_STANDIN_RECORD"));
        return record.open(QIODevice::Append)
                && record.write((QStringList { name } + arguments).join('|').toUtf8() + '\n') > 0
            ? (arguments.contains("203.0.113.3") ? 3 : 0)
            : 1;
    } else if (name == "conn_client") {
        return client(arguments);
    } else if (ownNetwork && QProcess::execute("ip", { "link", "set", "lo", "up" }) != 0) {
        return 1;
    }
    TestConnectionTools test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectiontools.moc"
