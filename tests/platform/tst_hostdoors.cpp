#include "../support/testkit.h"

#include "platform/autostart.h"
#include "platform/instancelock.h"
#include "platform/resolvers.h"
#include "platform/servicepresence.h"

#include <QTcpServer>
#include <QTemporaryDir>

#include <optional>
#include <unistd.h>

// Launch at sign-in, the service check, the user's resolvers and the instance lock: the Windows sides
// from recorded outputs, the Linux sides for real (an autostart folder, a listener and lock files of
// this test's own).
class TestHostDoors : public QObject
{
    Q_OBJECT

    TemporaryProfile profile;

    static QString run(const QString& program, const QStringList& args)
    {
        QProcess process;
        process.start(program, args);
        return process.waitForFinished(30000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
    }
    static QByteArray entry(const QString& name)
    {
        QFile file(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/autostart/" + name + ".desktop");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("none");
    }

private slots:
    // The entry before: none, one a person edited (another copy's: movedExecutable), or a folder where
    // the entry belongs, so that nothing can be written (even by root).
    void enableAndDisable_data()
    {
        QTest::addColumn<QByteArray>("previous");
        QTest::newRow("none") << QByteArray();
        QTest::newRow("with arguments") << AutoStart::entryText().replace("tst_hostdoors\"", "tst_hostdoors\" --min");
        QTest::newRow("a folder in the way") << QByteArray("folder");
    }
    void enableAndDisable()
    {
        QFETCH(QByteArray, previous);
        const QString path = AutoStart::entryPath();
        const bool writable = previous != "folder";
        QCOMPARE(path, profile.filePath("config/autostart/tst_hostdoors.desktop"));
        QDir(path).removeRecursively();
        QFile::remove(path);
        QVERIFY(writable || QDir().mkpath(path));
        if (writable && !previous.isEmpty()) {
            writeScript(path, previous);
        }
        QVERIFY(!AutoStart::isEnabled());
        for (const bool enable : { true, true, false }) { // twice still leaves one entry
            QCOMPARE(AutoStart::setEnabled(enable), enable && writable);
            QCOMPARE(QFileInfo(path).isFile(), enable && writable);
            QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files).size(), int(enable && writable));
        }
    }

    // The entry runs the executable it was written by, whatever its path holds; another copy of
    // the same program shares the entry's name but not its path.
    void movedExecutable()
    {
        QTemporaryDir first, second;
        const QString odd = second.filePath("a b$`\"%\\c");
        QVERIFY(QDir().mkpath(odd));
        QVERIFY(QFile::copy(VPN_TEST_BIN_DIR "/probe", first.filePath("probe")));
        QVERIFY(QFile::copy(VPN_TEST_BIN_DIR "/probe", odd + "/probe"));
        QCOMPARE(run(first.filePath("probe"), { "enable" }), QString("1\n"));
        QCOMPARE(run(odd + "/probe", { "check" }), QString("0\n"));
        QCOMPARE(run(odd + "/probe", { "enable" }), QString("1\n"));
        // Quoted, with \ " ` $ escaped inside the quotes, then \ escaped again and % doubled for the file.
        QVERIFY2(entry("probe").contains(
                     "\nExec=\"" + second.filePath("a b\\\\$\\\\`\\\\\"%%\\\\\\\\c/probe").toUtf8() + "\"\n"),
            entry("probe").constData());
        // As on Windows, where the value's name is shared: any copy's disabling removes the entry.
        QCOMPARE(run(first.filePath("probe"), { "disable" }), QString("0\n"));
        QCOMPARE(entry("probe"), QByteArray("none"));
    }

    void processList_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<bool>("running");
        const QString recorded = fixture("app/wmic-processes.txt");
        QTest::newRow("recorded") << recorded << true;
        QTest::newRow("without the service") << QString(recorded).remove("vpn-service.exe") << false;
        QTest::newRow("blanks and tabs") << "Caption  \r\n\t vpn-service.exe\t  \r\r\n" << true;
        QTest::newRow("only cr") << "Caption\rvpn-service.exe" << true;
        QTest::newRow("capitals") << "VPN-SERVICE.EXE" << false;
        QTest::newRow("longer names") << "my-vpn-service.exe\nvpn-service.exe.old\nvpn-service\n" << false;
    }
    void processList()
    {
        QFETCH(QString, listing);
        QTEST(processListContains(listing, "vpn-service.exe"), "running");
    }

    // Linux: the service's own socket answers, or nothing does; the window never waits for it.
    void serviceSocket()
    {
        for (const bool listening : { true, false }) {
            QTcpServer server;
            if (listening) {
                QVERIFY2(server.listen(QHostAddress::LocalHost, 6447), qPrintable(server.errorString()));
            }
            std::optional<bool> found;
            QObject context;
            checkVpnServiceRunning(
                &context,
                [&found](bool running) {
                    found = running;
                },
                3000);
            QVERIFY(!found.has_value());
            QTRY_VERIFY_WITH_TIMEOUT(found.has_value(), 10000);
            QCOMPARE(*found, listening);
        }
    }

    // What was at the lock's place before: nothing, a file of the user's own (left by an earlier run),
    // a link someone planted, another user's file, or no folder at all.
    void instanceLock_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("usable");
        QTest::newRow("nothing") << "nothing" << true;
        QTest::newRow("own file") << "own file" << true;
        QTest::newRow("planted link") << "link" << false;
        QTest::newRow("another user's file") << "foreign file" << false;
        QTest::newRow("no folder") << "no folder" << false;
    }

    void instanceLock()
    {
        QFETCH(QString, before);
        QFETCH(bool, usable);
        QTemporaryDir folder;
        const QString path = folder.filePath(before == "no folder" ? "missing/instance.lock" : "instance.lock");
        if (before == "own file" || before == "foreign file") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        if (before == "link") {
            QVERIFY(QFile::link(folder.filePath("elsewhere"), path));
        }
        if (before == "foreign file") {
            if (::geteuid() != 0) {
                QSKIP("handing a file to another user needs root");
            }
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        }
        auto first = std::make_unique<InstanceLock>();
        if (!usable) {
            QCOMPARE(first->tryLock(path), InstanceLock::Result::Unavailable);
            QVERIFY(!first->errorString().isEmpty());
            QVERIFY(!QFile::exists(folder.filePath("elsewhere")));
            return;
        }
        QCOMPARE(first->tryLock(path), InstanceLock::Result::Acquired);
        InstanceLock second;
        QCOMPARE(second.tryLock(path), InstanceLock::Result::HeldElsewhere);
        first.reset();
        QCOMPARE(second.tryLock(path), InstanceLock::Result::Acquired);
    }

    // Linux: the system's resolver comes later, as the registry's entries do on Windows (what the entry
    // holds reaches the dns tool in tst_connectiontools).
    void resolversComeLater()
    {
        UserResolvers resolvers;
        QSignalSpy refreshed(&resolvers, &UserResolvers::refreshed);
        resolvers.refresh();
        QVERIFY(resolvers.isRefreshing() && refreshed.wait(5000) && !resolvers.isRefreshing());
    }
};

QTEST_GUILESS_MAIN(TestHostDoors)
#include "tst_hostdoors.moc"
