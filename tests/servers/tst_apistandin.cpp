#include "servers/networkapi.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

// The development host's API stand-in as the shipped client sees it: deployment host and pinned
// demo CA, the stand-in started by its set-up step, all inside a private network namespace.
class TestApiStandIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void serverListAndAddress();

private:
    QTemporaryDir buildDir;
    qint64 standInPid = 0;
};

void TestApiStandIn::initTestCase()
{
    if (geteuid() != 0) {
        QSKIP("needs root for a network namespace and port 443");
    }
    // Threads started from here on (the network access thread too) live in the new namespace.
    if (unshare(CLONE_NEWNET) != 0) {
        QSKIP("cannot create a network namespace");
    }
    QVERIFY(buildDir.isValid());

    // Run the set-up step twice: the second run must keep the running stand-in.
    const QString script
        = QStringLiteral("set -euo pipefail; TOP='%1'; BUILD_DIR='%2'; unset NET_NETNS; "
                         "source \"$TOP/devhost/setup.d/40-api.sh\"; source \"$TOP/devhost/setup.d/40-api.sh\"")
              .arg(QStringLiteral(VPN_SOURCE_DIR), buildDir.path());
    QProcess setup;
    setup.start(QStringLiteral("bash"), { QStringLiteral("-c"), script });
    QVERIFY(setup.waitForFinished(30000));
    const QString output = QString::fromUtf8(setup.readAll());
    QVERIFY2(setup.exitStatus() == QProcess::NormalExit && setup.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("API stand-in already running")), qPrintable(output));

    QFile pidFile(buildDir.filePath(QStringLiteral("devhost/api.pid")));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    standInPid = pidFile.readAll().trimmed().toLongLong();
    QVERIFY(standInPid > 0);
}

void TestApiStandIn::cleanupTestCase()
{
    if (standInPid > 0) {
        kill(pid_t(standInPid), SIGTERM);
    }
}

void TestApiStandIn::serverListAndAddress()
{
    NetworkApi api;
    QCOMPARE(api.serverListUrl(), QStringLiteral("https://203.0.113.10/feeds/serverinfo.xml"));
    QSignalSpy listFinished(&api, &NetworkApi::requestServerListFinished);
    QSignalSpy ipFinished(&api, &NetworkApi::requestCurrentIpAddressFinished);

    api.requestServerList();
    QTRY_VERIFY_WITH_TIMEOUT(listFinished.count() == 1 && ipFinished.count() == 1, 20000);

    // Only the visible, online server is left: the host's OpenVPN server.
    const Servers servers = qvariant_cast<Servers>(listFinished.at(0).at(0));
    QCOMPARE(servers.size(), 1);
    QCOMPARE(servers.at(0).id, 0);
    QCOMPARE(servers.at(0).ip, QStringLiteral("198.51.100.1"));
    QCOMPARE(servers.at(0).country, QStringLiteral("NL"));
    QCOMPARE(servers.at(0).city, QStringLiteral("Amsterdam"));

    // The stand-in answers the caller's address; here the client talks from the loopback address.
    QCOMPARE(ipFinished.at(0).at(0).toString(), QStringLiteral("203.0.113.10"));
    QCOMPARE(ipFinished.at(0).at(1).toString(), QStringLiteral("DE"));
}

QTEST_GUILESS_MAIN(TestApiStandIn)
#include "tst_apistandin.moc"
