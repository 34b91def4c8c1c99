#include "servers/networkapi.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

// The development host's API stand-in as the shipped client sees it: deployment host and pinned demo
// CA, the stand-in started by its set-up step, all inside a private network namespace.
class TestApiStandIn : public QObject
{
    Q_OBJECT

private slots:
    void serverListAndAddress()
    {
        // Threads started from here on (the network access thread too) live in the new namespace.
        if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
            QSKIP("needs root for a network namespace and port 443");
        }
        QTemporaryDir buildDir;
        // Run the set-up step twice: the second run must keep the running stand-in.
        QProcess setup;
        setup.start("bash",
            { "-c",
                "set -euo pipefail; TOP='" VPN_SOURCE_DIR "'; BUILD_DIR='" + buildDir.path()
                    + "'; unset NET_NETNS; for i in 1 2; do source \"$TOP/devhost/setup.d/40-api.sh\"; done" });
        QVERIFY(setup.waitForFinished(30000));
        const QString output = setup.readAll();
        QFile pidFile(buildDir.filePath("devhost/api.pid"));
        const pid_t pid = pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toInt() : 0;
        const auto stopStandIn = qScopeGuard([pid] {
            pid > 0 && kill(pid, SIGTERM);
        });
        QVERIFY2(
            setup.exitCode() == 0 && output.contains("API stand-in already running") && pid > 0, qPrintable(output));

        // A caller that connects and then says nothing (its tunnel went away) holds up no one else.
        QTcpSocket silent;
        silent.connectToHost("203.0.113.10", 443);
        QVERIFY(silent.waitForConnected(5000));
        NetworkApi api;
        QCOMPARE(api.serverListUrl(), QStringLiteral("https://203.0.113.10/feeds/serverinfo.xml"));
        QSignalSpy list(&api, &NetworkApi::requestServerListFinished);
        QSignalSpy ip(&api, &NetworkApi::requestCurrentIpAddressFinished);
        api.requestServerList();
        QTRY_VERIFY_WITH_TIMEOUT(list.count() == 1 && ip.count() == 1, 20000);
        // Only the visible, online servers are left: the host's three OpenVPN servers.
        const Servers servers = qvariant_cast<Servers>(list.at(0).at(0));
        QStringList shown;
        for (const Server& server : servers) {
            shown << QStringList({ server.ip, server.country, server.city }).join(' ');
        }
        QCOMPARE(
            shown, QStringList({ "198.51.100.1 NL Amsterdam", "198.51.100.4 NL Groningen", "198.51.100.5 DE Berlin" }));
        // The caller's address as the stand-in sees it: here the client talks from the API host's address.
        QCOMPARE(ip.at(0).at(0).toString() + ' ' + ip.at(0).at(1).toString(), "203.0.113.10 DE");
    }
};

QTEST_GUILESS_MAIN(TestApiStandIn)
#include "tst_apistandin.moc"
