// The command lines KillSwitch and DnsManager send, as they reach killswitch.exe and dns.exe
// through a real vpn-service. The client (conn_client) runs from the service's application folder,
// where copies of it also stand in for the two tools and record their exact arguments.
#include "app/registry.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <unistd.h>

namespace {

const QString A = QStringLiteral("{1A000000-0000-0000-0000-00000000000A}");
const QString B = QStringLiteral("{2B000000-0000-0000-0000-00000000000B}");

void seedConnection(const QString& guid, int adapter, const QString& ipv4)
{
    const QString net = QStringLiteral("{4D36E972-E325-11CE-BFC1-08002BE10318}\\");
    const QString base = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\");
    Registry::openKey(base + "Control\\Class\\" + net + QString::number(adapter))->setValue("NetCfgInstanceId", guid);
    const auto connection = Registry::openKey(base + "Control\\Network\\" + net + guid + "\\Connection");
    connection->setValue("Name", "Ethernet " + QString::number(adapter));
    Registry::openKey(base + "Services\\Tcpip\\Parameters\\Interfaces\\" + guid)->setValue("NameServer", ipv4);
    Registry::openKey(base + "Services\\Tcpip6\\Parameters\\Interfaces\\" + guid)->setValue("NameServer", "");
}

} // namespace

class TestConnectionTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandLinesReachTheTools_data();
    void commandLinesReachTheTools();

private:
    QString appDir() const
    {
        return QFileInfo(dir.path()).canonicalFilePath() + "/app";
    }
    QString recordFile() const
    {
        return dir.path() + "/records.txt";
    }

    QTemporaryDir dir;
    QTemporaryDir dataHome;
    QProcess service;
};

void TestConnectionTools::initTestCase()
{
    QVERIFY(dir.isValid() && dataHome.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    qputenv("PATH", QFile::encodeName(QDir::cleanPath(VPN_TEST_DATA_DIR "/../../devhost/bin")) + ':' + qgetenv("PATH"));

    // The service runs only programs of its own folder, for the client of that folder.
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    QVERIFY(QDir().mkpath(appDir()) && QFile::setPermissions(appDir(), all));
    const QStringList copies { VPN_APP_DIR "/vpn-service", "vpn-service", VPN_TEST_BIN_DIR "/conn_client",
        "conn_client", VPN_TEST_BIN_DIR "/conn_client", "killswitch.exe", VPN_TEST_BIN_DIR "/conn_client", "dns.exe" };
    for (int i = 0; i < copies.size(); i += 2) {
        const QString target = appDir() + "/" + copies.at(i + 1);
        QVERIFY(QFile::copy(copies.at(i), target) && QFile::setPermissions(target, all));
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VPN_STANDIN_RECORD", recordFile());
    service.setProcessEnvironment(environment);
    service.setStandardErrorFile(dir.path() + "/service.err");
    service.setStandardOutputFile(QProcess::nullDevice());
    service.start(appDir() + "/vpn-service",
        { "--log-file", dir.path() + "/service.log", "--allow-client", appDir() + "/conn_client" });
    QVERIFY(service.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), 6447);
            return probe.waitForConnected(200);
        }(),
        15000);
    // The port answered for this service, not for one that someone else left running.
    QVERIFY(service.state() == QProcess::Running);
}

void TestConnectionTools::cleanupTestCase()
{
    service.terminate();
    if (!service.waitForFinished(15000)) {
        service.kill();
    }
}

void TestConnectionTools::commandLinesReachTheTools_data()
{
    QTest::addColumn<int>("toolExitCode");
    QTest::addColumn<QStringList>("steps"); // conn_client's
    QTest::addColumn<QStringList>("toolRuns"); // "tool|arg|arg...", empty arguments kept
    QTest::addColumn<QStringList>("clientSees"); // one line per step, and log lines

    QTest::newRow("engage, local network locked out too")
        << 0 << QStringList { "enable 10.8.0.6 198.51.100.1 0" }
        << QStringList { "killswitch|enable|all|198.51.100.1|" }
        << QStringList { "killswitch ok=true engaged=true",
               "KillSwitch: Enable protection, VPN internal IP '10.8.0.6', VPN public IP: '198.51.100.1', allow local "
               "devices: 'false'",
               "KillSwitch: Process finished with code: 0" };
    QTest::newRow("engage with local devices, then lift")
        << 0 << QStringList { "enable 10.8.0.6 198.51.100.1 1", "disable" }
        << QStringList { "killswitch|enable|all|198.51.100.1|local", "killswitch|disable|all" }
        << QStringList { "killswitch ok=true engaged=true", "killswitch ok=true engaged=false",
               "KillSwitch: Disable protection" };
    QTest::newRow("a failing tool leaves the flag as asked")
        << 3 << QStringList { "enable 10.8.0.6 198.51.100.1 0" }
        << QStringList { "killswitch|enable|all|198.51.100.1|" }
        << QStringList { "killswitch ok=false engaged=true", "KillSwitch: Process finished with code: 3" };
    QTest::newRow("dns: the user's servers back")
        << 0 << QStringList { "seed", "dns-user" }
        << QStringList { "dns|user|" + A + "@192.0.2.53,192.0.2.54|" + B + "@" } << QStringList { "dns code=0" };
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
    if (steps.removeOne("seed")) {
        seedConnection(A, 0, "192.0.2.53,192.0.2.54");
        seedConnection(B, 1, "");
    }
    QFile::remove(recordFile());
    QFile exitFile(recordFile() + ".exit");
    QVERIFY(exitFile.open(QIODevice::WriteOnly) && exitFile.write(QByteArray::number(toolExitCode)) > 0);
    exitFile.close();

    QProcess client;
    client.start(appDir() + "/conn_client", steps);
    QVERIFY(client.waitForFinished(60000));
    QFile serviceLog(dir.path() + "/service.log");
    serviceLog.open(QIODevice::ReadOnly);
    const QString output = client.readAllStandardOutput() + client.readAllStandardError();
    QVERIFY2(client.exitCode() == 0, qPrintable(output + "\nService log:\n" + serviceLog.readAll()));
    for (const QString& line : clientSees) {
        QVERIFY2(output.contains(line + '\n'), qPrintable(line + "\nnot in\n" + output));
    }
    QCOMPARE(output.count(QRegularExpression("^(killswitch|dns) ", QRegularExpression::MultilineOption)), steps.size());

    // Linking up lifts any lock left behind ("init: connection"), silently and once; that run
    // may still be under way when the client is done.
    const auto runs = [this] {
        QFile records(recordFile());
        return records.open(QIODevice::ReadOnly) ? QString::fromUtf8(records.readAll()).split('\n', Qt::SkipEmptyParts)
                                                 : QStringList();
    };
    QTRY_COMPARE_WITH_TIMEOUT(
        runs().count("killswitch|disable|all"), toolRuns.count("killswitch|disable|all") + 1, 10000);
    QStringList others = runs();
    others.removeOne("killswitch|disable|all");
    QCOMPARE(others, toolRuns);
}

int main(int argc, char* argv[])
{
    // As root the test gets a loopback of its own, so the service port cannot be another test run's.
    const bool ownNetwork = ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0;
    QCoreApplication app(argc, argv);
    if (ownNetwork && QProcess::execute("ip", { "link", "set", "lo", "up" }) != 0) {
        return 1;
    }
    TestConnectionTools test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectiontools.moc"
