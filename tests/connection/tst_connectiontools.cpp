// DnsManager's entries from the Windows side's registry data (through the registry door's stand-in),
// and what KillSwitch asks the service for and makes of the answers, against the in-process fake of
// the service. That the service and the kill switch tool take those shapes is tst_servicerules'.
#include "../support/fakeservice.h"
#include "../support/testkit.h"
#include "connection/dnsmanager.h"
#include "connection/killswitch.h"
#include "registryseed.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

using registryseed::guid;
using registryseed::seed;

} // namespace

class TestConnectionTools : public QObject
{
    Q_OBJECT

private slots:
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
    // "STEPS => RUNS => ANSWERS": each step "enable INTERNAL PUBLIC 0|1" or "disable", and "exit N" for
    // the tool's exit code on the next step; the tool's runs as the service gets them; per step "WORD
    // RESULT ENGAGED". Lists split at "; ".
    void killSwitch_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("local devices, then lift")
            << "enable 10.8.0.6 198.51.100.1 1; disable => killswitch enable all 198.51.100.1 local; killswitch "
               "disable all => enable 1 1; disable 1 0";
        // The fifth argument is always there, empty when the local network is locked out too.
        QTest::newRow("a failing tool takes the lock back, no local devices")
            << "exit 3; enable 10.8.0.6 203.0.113.3 0 => killswitch enable all 203.0.113.3  => enable 0 0";
    }
    void killSwitch()
    {
        QFETCH(QString, row);
        FakeService service;
        KillSwitch lock(&service);
        QSignalSpy finished(&lock, &KillSwitch::killSwitchFinished);
        QStringList answers;
        int exitCode = 0;
        for (const QString& step : row.section(" => ", 0, 0).split("; ")) {
            const QStringList w = step.split(' ');
            if (w.at(0) == "exit") {
                exitCode = w.at(1).toInt();
                service.answers = false;
                continue;
            }
            w.at(0) == "enable" ? lock.enableProtection(w.at(1), w.at(2), w.at(3) == "1") : lock.disableProtection();
            if (exitCode != 0) {
                service.play("started:7,0,killswitch");
                service.play(QStringLiteral("finished:7,%1,killswitch").arg(exitCode));
            }
            QTRY_COMPARE(finished.count(), 1);
            answers << QStringLiteral("%1 %2 %3")
                           .arg(w.at(0))
                           .arg(finished.takeFirst().at(0).toInt())
                           .arg(lock.isProtectionEnabled());
        }
        QCOMPARE(service.transcript(), row.section(" => ", 1, 1).split("; "));
        QCOMPARE(answers.join("; "), row.section(" => ", 2, 2));
    }

private:
    TemporaryProfile profile;
};

QTEST_GUILESS_MAIN(TestConnectionTools)
#include "tst_connectiontools.moc"
