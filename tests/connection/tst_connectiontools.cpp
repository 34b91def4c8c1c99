// The command lines KillSwitch and DnsManager send, as they reach killswitch.exe and dns.exe
// through a real vpn-service. Copies of this program in the service's application folder play the
// client (conn_client) and the two tools, which record their exact arguments.
#include "app/registry.h"
#include "connection/dnsmanager.h"
#include "connection/killswitch.h"
#include "service/servicecontroller.h"
#include "service/serviceprocess.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include <sched.h>
#include <unistd.h>

namespace {

// Appends "NAME|ARG|ARG..." to the file VPN_STANDIN_RECORD names; ends with the code in "<that file>.exit".
int standInTool(const QString& name, const QStringList& arguments)
{
    QFile record(qEnvironmentVariable("VPN_STANDIN_RECORD"));
    if (record.open(QIODevice::Append)) {
        record.write((QStringList { name } + arguments).join('|').toUtf8() + '\n');
    }
    QFile exitCode(record.fileName() + ".exit");
    return exitCode.open(QIODevice::ReadOnly) ? exitCode.readAll().trimmed().toInt() : 0;
}

// Each argument is one step over the real service link, answered with one line:
// "enable INTERNAL PUBLIC 0|1", "disable", "dns-vpn V4 V6", "dns-user".
int client(const QStringList& steps)
{
    ServiceController controller;
    KillSwitch killSwitch;
    DnsManager dnsManager;
    ServiceProcess dnsProcess("dns");
    QEventLoop loop;
    const auto answer = [&loop](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        loop.exit(0);
    };
    QObject::connect(&killSwitch, &KillSwitch::killSwitchFinished, &loop, [&](bool ok) {
        answer(QString("killswitch ok=%1 engaged=%2")
                   .arg(ok ? "true" : "false", killSwitch.isProtectionEnabled() ? "true" : "false"));
    });
    QObject::connect(&dnsProcess, &ServiceProcess::finished, &loop, [&](int code) {
        answer(QString("dns code=%1").arg(code));
    });
    for (const QString& step : steps) {
        const QStringList w = step.split(' ');
        if (w.at(0) == "enable") {
            killSwitch.enableProtection(w.at(1), w.at(2), w.at(3) == "1");
        } else if (w.at(0) == "disable") {
            killSwitch.disableProtection();
        } else {
            dnsManager.refresh();
            dnsProcess.start(QStringList { DnsManager::dnsToolPath(), w.at(0).mid(4) }
                + (w.size() == 3 ? dnsManager.vpnDnsSettings(w.at(1), w.at(2)) : dnsManager.userDnsSettings()));
        }
        QTimer::singleShot(15000, &loop, [&loop] {
            loop.exit(1);
        });
        if (loop.exec() != 0) {
            return 1;
        }
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
    }
    void commandLinesReachTheTools_data();
    void commandLinesReachTheTools();

private:
    QTemporaryDir dir, dataHome;
    const QString app = QFileInfo(dir.path()).canonicalFilePath() + "/app", records = dir.path() + "/records.txt";
    QProcess service;
};

void TestConnectionTools::initTestCase()
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    qputenv("PATH", QFile::encodeName(QDir::cleanPath(VPN_TEST_DATA_DIR "/../../devhost/bin")) + ':' + qgetenv("PATH"));
    // The service runs only programs of its own folder, for the client of that folder.
    const auto all = QFileDevice::Permissions(0x7055); // rwxr-xr-x
    QVERIFY(QDir().mkpath(app) && QFile::setPermissions(app, all));
    for (const QString copy : { "vpn-service", "conn_client", "killswitch.exe", "dns.exe" }) {
        const QString from
            = copy == "vpn-service" ? VPN_APP_DIR "/vpn-service" : QCoreApplication::applicationFilePath();
        QVERIFY(QFile::copy(from, app + "/" + copy) && QFile::setPermissions(app + "/" + copy, all));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VPN_STANDIN_RECORD", records);
    service.setProcessEnvironment(environment);
    service.setStandardOutputFile(QProcess::nullDevice());
    service.start(
        app + "/vpn-service", { "--log-file", dir.path() + "/service.log", "--allow-client", app + "/conn_client" });
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), 6447);
            return probe.waitForConnected(200);
        }(),
        15000);
    QVERIFY(service.state() == QProcess::Running); // the port is this service's
}

void TestConnectionTools::commandLinesReachTheTools_data()
{
    QTest::addColumn<int>("toolExitCode");
    QTest::addColumn<QStringList>("steps"); // the client's; "seed" puts connections A and B into the registry
    QTest::addColumn<QStringList>("toolRuns"); // "tool|arg|arg...", empty arguments kept
    QTest::addColumn<QStringList>("clientSees"); // one line per step, and log lines
    const QString enable = "enable 10.8.0.6 198.51.100.1 ", locked = "killswitch|enable|all|198.51.100.1|";
    QTest::newRow("engage") << 0 << QStringList { enable + "0" } << QStringList { locked }
                            << QStringList { "killswitch ok=true engaged=true",
                                   "KillSwitch: Enable protection, VPN internal IP '10.8.0.6', VPN public IP: "
                                   "'198.51.100.1', allow local devices: 'false'" };
    QTest::newRow("local devices, then lift")
        << 0 << QStringList { enable + "1", "disable" } << QStringList { locked + "local", "killswitch|disable|all" }
        << QStringList { "killswitch ok=true engaged=true", "killswitch ok=true engaged=false" };
    QTest::newRow("a failing tool leaves the flag as asked")
        << 3 << QStringList { enable + "0" } << QStringList { locked }
        << QStringList { "killswitch ok=false engaged=true", "KillSwitch: Process finished with code: 3" };
    QTest::newRow("dns: the user's servers back")
        << 0 << QStringList { "seed", "dns-user" }
        << QStringList { "dns|user|{1A000000-0000-0000-0000-00000000000A}@192.0.2.53,192.0.2.54|"
                         "{2B000000-0000-0000-0000-00000000000B}@" }
        << QStringList { "dns code=0" };
    QTest::newRow("dns: no connection known") << 0 << QStringList { "dns-vpn 10.8.0.1 fd00:8::1" }
                                              << QStringList { "dns|vpn" } << QStringList { "dns code=0" };
}

void TestConnectionTools::commandLinesReachTheTools()
{
    QFETCH(int, toolExitCode);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, toolRuns);
    QFETCH(QStringList, clientSees);
    QDir(Registry::standInFolder()).removeRecursively();
    const QString base = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\",
                  net = "{4D36E972-E325-11CE-BFC1-08002BE10318}\\";
    for (int i = steps.removeOne("seed") ? 0 : 2; i < 2; ++i) {
        const QString id = "{" + QString::number(i + 1) + QChar('A' + i) + "000000-0000-0000-0000-00000000000"
            + QChar('A' + i) + "}";
        Registry::openKey(base + "Control\\Class\\" + net + QString::number(i))->setValue("NetCfgInstanceId", id);
        Registry::openKey(base + "Control\\Network\\" + net + id + "\\Connection")->setValue("Name", "Ethernet");
        Registry::openKey(base + "Services\\Tcpip\\Parameters\\Interfaces\\" + id)
            ->setValue("NameServer", i == 0 ? "192.0.2.53,192.0.2.54" : "");
        Registry::openKey(base + "Services\\Tcpip6\\Parameters\\Interfaces\\" + id)->setValue("NameServer", "");
    }
    QFile::remove(records);
    QFile exitFile(records + ".exit");
    QVERIFY(exitFile.open(QIODevice::WriteOnly) && exitFile.write(QByteArray::number(toolExitCode)) > 0);
    exitFile.close();

    QProcess client;
    client.start(app + "/conn_client", steps);
    QVERIFY(client.waitForFinished(60000));
    const QString output = client.readAllStandardOutput() + client.readAllStandardError();
    QVERIFY2(client.exitCode() == 0, qPrintable(output));
    for (const QString& line : clientSees) {
        QVERIFY2(output.contains(line + '\n'), qPrintable(line + "\nnot in\n" + output));
    }
    QCOMPARE(output.count(QRegularExpression("^(killswitch|dns) ", QRegularExpression::MultilineOption)), steps.size());

    // Linking up lifts any lock left behind ("init: connection"), silently and once; that run
    // may still be under way when the client is done.
    const auto runs = [this] {
        QFile file(records);
        return file.open(QIODevice::ReadOnly) ? QString(file.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
    };
    QTRY_COMPARE_WITH_TIMEOUT(
        runs().count("killswitch|disable|all"), toolRuns.count("killswitch|disable|all") + 1, 10000);
    QStringList others = runs();
    others.removeOne("killswitch|disable|all");
    QCOMPARE(others, toolRuns);
}

int main(int argc, char* argv[])
{
    const QString name = QFileInfo(argv[0]).completeBaseName();
    // As root the test gets a loopback of its own, so the service port cannot be another test run's.
    const bool ownNetwork = name.startsWith("tst_") && ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0;
    QCoreApplication app(argc, argv);
    if (name == "killswitch" || name == "dns") {
        return standInTool(name, app.arguments().mid(1));
    } else if (name == "conn_client") {
        return client(app.arguments().mid(1));
    } else if (ownNetwork && QProcess::execute("ip", { "link", "set", "lo", "up" }) != 0) {
        return 1;
    }
    TestConnectionTools test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectiontools.moc"
