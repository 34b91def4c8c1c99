// killswitch.exe and dns.exe under Wine: without a filtering platform no lock is reported in place;
// in Wine's real registry dns.exe sets an interface of the test's own and puts the user's values back.
#include <QProcess>
#include <QSettings>
#include <QTest>

namespace {

const QString G = "{7E570000-0000-0000-0000-0000000000A1}";
const QString keyV4 = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + G;
const QString keyV6 = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Interfaces\\" + G;

int run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(VPN_APP_DIR "/" + tool, arguments);
    const bool finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return finished ? process.exitCode() : -1;
}

QString nameServer(const QString& key)
{
    return QSettings(key, QSettings::NativeFormat).value("NameServer", "-").toString();
}

} // namespace

class TestWinTools : public QObject
{
    Q_OBJECT

private slots:
    void killswitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("enable all") << QStringList { "enable", "all", "198.51.100.1", "local" } << 1;
        QTest::newRow("enable tunnel") << QStringList { "enable", "tunnel", "2001:db8::1", "" } << 1;
        QTest::newRow("enable lockdown") << QStringList { "enable", "lockdown", "198.51.100.1" } << 1;
        QTest::newRow("disable all") << QStringList { "disable", "all" } << 1;
    }
    void killswitch()
    {
        QFETCH(QStringList, arguments);
        QTEST(run("killswitch.exe", arguments), "exitCode");
    }

    void dns()
    {
        QSettings(keyV4, QSettings::NativeFormat).setValue("NameServer", "192.0.2.53");
        QSettings(keyV6, QSettings::NativeFormat).setValue("Other", "the key is there");

        // Written, but not in force: the tool does not report success.
        QCOMPARE(run("dns.exe", { "vpn", G + "@10.8.0.1,fd00:8::1" }), 1);
        QCOMPARE(nameServer(keyV4), QString("10.8.0.1"));
        QCOMPARE(nameServer(keyV6), QString("fd00:8::1"));
        QCOMPARE(run("dns.exe", { "vpn", G + "@10.9.0.1," }), 1);
        QCOMPARE(nameServer(keyV4), QString("10.9.0.1"));

        QCOMPARE(run("dns.exe", { "user", G + "@10.9.0.1" }), 1);
        QCOMPARE(nameServer(keyV4), QString("192.0.2.53"));
        QCOMPARE(nameServer(keyV6), QString("-"));
    }
};

QTEST_GUILESS_MAIN(TestWinTools)
#include "tst_wintools.moc"
