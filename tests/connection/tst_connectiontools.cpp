// The command lines KillSwitch and DnsManager send, as they reach killswitch.exe and dns.exe
// through a real vpn-service. The client (conn_client) runs from the service's application folder,
// where copies of it also stand in for the two tools and record their exact arguments.
#include "app/registry.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <unistd.h>

namespace {

const QString guidA = QStringLiteral("{1A000000-0000-0000-0000-00000000000A}");
const QString guidB = QStringLiteral("{2B000000-0000-0000-0000-00000000000B}");

bool copyExecutable(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    return QFile::copy(from, to)
        && QFile::setPermissions(to,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

void seedConnection(const QString& guid, int adapter, const QString& name, const QString& ipv4)
{
    const QString net = QStringLiteral("{4D36E972-E325-11CE-BFC1-08002BE10318}");
    const QString base = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\");
    const auto classKey
        = Registry::openKey(base + "Control\\Class\\" + net + "\\" + QString::asprintf("%04d", adapter));
    classKey->setValue("MatchingDeviceId", "pci\\ven_8086&dev_100e");
    classKey->setValue("NetCfgInstanceId", guid);
    const auto connection = Registry::openKey(base + "Control\\Network\\" + net + "\\" + guid + "\\Connection");
    connection->setValue("Name", name);
    connection->setValue("PnPInstanceId", "PCI\\VEN_8086\\" + QString::number(adapter));
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
    QString appDir() const;
    QString recordFile() const;
    QStringList records() const;

    QTemporaryDir dir;
    QTemporaryDir dataHome;
    QProcess service;
};

QString TestConnectionTools::appDir() const
{
    return QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/app");
}

QString TestConnectionTools::recordFile() const
{
    return dir.path() + QStringLiteral("/records.txt");
}

QStringList TestConnectionTools::records() const
{
    QFile file(recordFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestConnectionTools::initTestCase()
{
    QVERIFY(dir.isValid() && dataHome.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("VPNC_REGISTRY_DIR");
    const QString devhostBin = QDir::cleanPath(QStringLiteral(VPN_TEST_DATA_DIR "/../../devhost/bin"));
    qputenv("PATH", QFile::encodeName(devhostBin) + ':' + qgetenv("PATH"));

    // The service only runs programs of its own folder, and only for the client of that folder.
    const QString client = QStringLiteral(VPN_TEST_BIN_DIR "/conn_client");
    QVERIFY(QDir().mkpath(appDir()));
    QVERIFY(QFile::setPermissions(appDir(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther));
    QVERIFY(copyExecutable(QStringLiteral(VPN_APP_DIR "/vpn-service"), appDir() + "/vpn-service"));
    QVERIFY(copyExecutable(client, appDir() + "/conn_client"));
    QVERIFY(copyExecutable(client, appDir() + "/killswitch.exe"));
    QVERIFY(copyExecutable(client, appDir() + "/dns.exe"));

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
    // The port answered for this service, not for one left by someone else.
    QVERIFY(service.state() == QProcess::Running);
}

void TestConnectionTools::cleanupTestCase()
{
    if (service.state() != QProcess::NotRunning) {
        service.terminate();
        if (!service.waitForFinished(15000)) {
            service.kill();
            service.waitForFinished();
        }
    }
}

void TestConnectionTools::commandLinesReachTheTools_data()
{
    QTest::addColumn<bool>("seedRegistry");
    QTest::addColumn<int>("toolExitCode");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("toolRuns"); // each "tool|arg|arg...", empty arguments kept
    QTest::addColumn<QStringList>("clientSees"); // one line per step
    QTest::addColumn<QStringList>("logLines");

    QTest::newRow("engage, local network locked out too")
        << false << 0 << QStringList { "enable 10.8.0.6 198.51.100.1 0" }
        << QStringList { "killswitch|enable|all|198.51.100.1|" } << QStringList { "killswitch ok=true engaged=true" }
        << QStringList { "KillSwitch: Enable protection, VPN internal IP '10.8.0.6', VPN public IP: '198.51.100.1', "
                         "allow local devices: 'false'",
               "KillSwitch: Process finished with code: 0" };
    QTest::newRow("engage with local devices, then lift")
        << false << 0 << QStringList { "enable 10.8.0.6 198.51.100.1 1", "disable" }
        << QStringList { "killswitch|enable|all|198.51.100.1|local", "killswitch|disable|all" }
        << QStringList { "killswitch ok=true engaged=true", "killswitch ok=true engaged=false" }
        << QStringList { "KillSwitch: Disable protection" };
    QTest::newRow("a failing tool leaves the flag as asked")
        << false << 3 << QStringList { "enable 10.8.0.6 198.51.100.1 0" }
        << QStringList { "killswitch|enable|all|198.51.100.1|" } << QStringList { "killswitch ok=false engaged=true" }
        << QStringList { "KillSwitch: Process finished with code: 3" };
    QTest::newRow("dns: the pushed pair on every connection")
        << true << 0 << QStringList { "dns-vpn 10.8.0.1 fd00:8::1" }
        << QStringList { "dns|vpn|" + guidA + "@10.8.0.1,fd00:8::1|" + guidB + "@10.8.0.1,fd00:8::1" }
        << QStringList { "dns code=0" } << QStringList();
    QTest::newRow("dns: an IPv4-only push") << true << 0 << QStringList { "dns-vpn 10.8.0.1 -" }
                                            << QStringList { "dns|vpn|" + guidA + "@10.8.0.1,|" + guidB + "@10.8.0.1," }
                                            << QStringList { "dns code=0" } << QStringList();
    QTest::newRow("dns: the user's servers back")
        << true << 0 << QStringList { "dns-user" }
        << QStringList { "dns|user|" + guidA + "@192.0.2.53,192.0.2.54|" + guidB + "@" } << QStringList { "dns code=0" }
        << QStringList();
    QTest::newRow("dns: no connection known")
        << false << 0 << QStringList { "dns-vpn 10.8.0.1 fd00:8::1" } << QStringList { "dns|vpn" }
        << QStringList { "dns code=0" } << QStringList();
}

void TestConnectionTools::commandLinesReachTheTools()
{
    QFETCH(bool, seedRegistry);
    QFETCH(int, toolExitCode);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, toolRuns);
    QFETCH(QStringList, clientSees);
    QFETCH(QStringList, logLines);

    QDir(Registry::standInFolder()).removeRecursively();
    if (seedRegistry) {
        seedConnection(guidA, 0, "Ethernet", "192.0.2.53,192.0.2.54");
        seedConnection(guidB, 1, "Ethernet 2", "");
    }
    QFile::remove(recordFile());
    QFile exitFile(recordFile() + ".exit");
    QVERIFY(exitFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
    exitFile.write(QByteArray::number(toolExitCode));
    exitFile.close();

    QProcess client;
    client.start(appDir() + "/conn_client", steps);
    QVERIFY(client.waitForFinished(60000));
    const QString output = QString::fromUtf8(client.readAllStandardOutput());
    const QString log = QString::fromUtf8(client.readAllStandardError());
    if (client.exitCode() != 0) {
        QFile serviceLog(dir.path() + "/service.log");
        serviceLog.open(QIODevice::ReadOnly);
        QFAIL(qPrintable(output + log + "\nService log:\n" + serviceLog.readAll()));
    }

    QCOMPARE(output.split('\n', Qt::SkipEmptyParts), clientSees);
    // Linking up lifts any lock left behind ("init: connection"), silently and once.
    QStringList runs = records();
    QVERIFY2(runs.removeOne("killswitch|disable|all"), qPrintable(runs.join('\n')));
    QCOMPARE(runs, toolRuns);
    for (const QString& line : logLines) {
        QVERIFY2(log.contains(line + '\n'), qPrintable(line + "\nnot in\n" + log));
    }
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
