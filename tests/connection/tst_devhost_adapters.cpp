#include "app/utils.h"
#include "connection/networkinterfaces.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <net/if.h>
#include <sched.h>
#include <unistd.h>

namespace {

bool run(const QStringList& command, QString* output = nullptr)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    const bool ok
        = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output != nullptr) {
        *output = QString::fromUtf8(process.readAllStandardOutput());
    }
    return ok;
}

int mtuOf(const QString& device)
{
    QString out;
    if (!run({ QStringLiteral("ip"), QStringLiteral("-o"), QStringLiteral("link"), QStringLiteral("show"),
                 QStringLiteral("dev"), device },
            &out)) {
        return -1;
    }
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral(" mtu (\\d+) ")).match(out);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

// The development host's route and netsh stand-ins against real TUN interfaces, in a network
// namespace of this test's own so that the machine's interfaces stay untouched.
class TestDevhostAdapters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryFindsTheTunInterfaces();
    void mtuReachesTheInterface();

private:
    int firstIndex = 0;
    int secondIndex = 0;
};

void TestDevhostAdapters::initTestCase()
{
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
        QSKIP("needs root to create a network namespace");
    }
    // Another kind of interface first, so that the TAP adapters are not simply the first ones.
    QVERIFY(run({ QStringLiteral("ip"), QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("uplink0"),
        QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"),
        QStringLiteral("uplink1") }));
    for (const QString& name : { QStringLiteral("vpnc-tun-a"), QStringLiteral("vpnc-tun-b") }) {
        QVERIFY(run({ QStringLiteral("ip"), QStringLiteral("tuntap"), QStringLiteral("add"), QStringLiteral("dev"),
            name, QStringLiteral("mode"), QStringLiteral("tun") }));
    }
    firstIndex = int(if_nametoindex("vpnc-tun-a"));
    secondIndex = int(if_nametoindex("vpnc-tun-b"));
    QVERIFY(firstIndex > 0 && secondIndex > firstIndex);
    qputenv("PATH", QByteArray(VPN_SOURCE_DIR "/devhost/bin:") + qgetenv("PATH"));
}

void TestDevhostAdapters::discoveryFindsTheTunInterfaces()
{
    NetworkInterfaces interfaces;
    interfaces.discover();
    const NetworkAdapters adapters = interfaces.adapters();
    QCOMPARE(adapters.size(), 2);
    QCOMPARE(adapters.at(0).index, firstIndex);
    QCOMPARE(adapters.at(0).name, QStringLiteral("TAP-Windows Adapter V9"));
    QCOMPARE(adapters.at(1).index, secondIndex);
    QCOMPARE(adapters.at(1).name, QStringLiteral("TAP-Windows Adapter V9 #2"));
}

void TestDevhostAdapters::mtuReachesTheInterface()
{
    QTest::ignoreMessage(QtInfoMsg, "Utils: 'Set mtu size' command finished with code: 0");
    Utils::setInterfaceMtu(secondIndex, 1400);
    QCOMPARE(mtuOf(QStringLiteral("vpnc-tun-b")), 1400);
    QCOMPARE(mtuOf(QStringLiteral("vpnc-tun-a")), 1500);

    // "Auto" and anything not positive put the interface back to 1500.
    QTest::ignoreMessage(QtInfoMsg, "Utils: 'Set mtu size' command finished with code: 0");
    Utils::setInterfaceMtu(secondIndex, -7);
    QCOMPARE(mtuOf(QStringLiteral("vpnc-tun-b")), 1500);

    // A failure shows only in the exit code.
    QTest::ignoreMessage(QtInfoMsg, "Utils: 'Set mtu size' command finished with code: 1");
    Utils::setInterfaceMtu(secondIndex + 1000, 1400);
    QTest::ignoreMessage(QtInfoMsg, "Utils: 'Set mtu size' command finished with code: 1");
    Utils::setInterfaceMtu(firstIndex, 100);
    QCOMPARE(mtuOf(QStringLiteral("vpnc-tun-a")), 1500);
}

QTEST_GUILESS_MAIN(TestDevhostAdapters)
#include "tst_devhost_adapters.moc"
