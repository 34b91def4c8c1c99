#include "../support/testkit.h"
#include "servers/networkapi.h"
#include "servers/serverlatency.h"
#include "servers/serverlistmodel.h"

#include <QSignalSpy>
#include <QtTest>

// The quickest of the development host's servers, over its real network: the API stand-in's feed,
// the near OpenVPN server and the two far ones behind their delay lines (40 and 120 ms), measured
// from the client's namespace by the probes the client uses. Run by run-in-devhost-net.sh --api in a
// copy of the host's network of the test's own.
class TestQuickest : public QObject
{
    Q_OBJECT

    TemporaryProfile profile;

    static bool nft(const QString& rules)
    {
        QProcess process;
        process.start("nft", { "-f", "-" });
        process.write(rules.toUtf8());
        process.closeWriteChannel();
        return process.waitForFinished(10000) && process.exitCode() == 0;
    }
    static bool setPingGroups(const QByteArray& range)
    {
        QFile file("/proc/sys/net/ipv4/ping_group_range");
        return file.open(QIODevice::WriteOnly) && file.write(range) == range.size();
    }

private slots:
    void pick_data()
    {
        QTest::addColumn<QByteArray>("pingGroups");
        QTest::addColumn<QString>("dropped"); // what the client's namespace drops on the way out
        QTest::addColumn<QString>("picked");
        // clang-format off
        QTest::newRow("TCP connect") << QByteArray("1 0") << "" << "198.51.100.1";
        // The TCP port closed: only the echo can measure.
        QTest::newRow("echo") << QByteArray("0 2147483647") << "tcp dport 8080" << "198.51.100.1";
        QTest::newRow("near server unreachable") << QByteArray("1 0") << "ip daddr 198.51.100.1" << "198.51.100.4";
        // clang-format on
    }
    void pick()
    {
        QFETCH(QByteArray, pingGroups);
        QFETCH(QString, dropped);
        QFETCH(QString, picked);
        QVERIFY(setPingGroups(pingGroups));
        const QString table = "table inet tst_quickest\ndelete table inet tst_quickest\n";
        QVERIFY(nft(table
            + (dropped.isEmpty() ? QString()
                                 : "table inet tst_quickest {\nchain out {\ntype filter hook output priority 0;\n"
                        + dropped + " drop\n}\n}\n")));

        NetworkApi api;
        QSignalSpy list(&api, &NetworkApi::requestServerListFinished);
        api.requestServerFeed();
        QVERIFY(list.wait(20000));
        const Servers servers = qvariant_cast<Servers>(list.at(0).at(0));
        QStringList addresses;
        for (const Server& server : servers) {
            addresses << server.ip;
        }
        QCOMPARE(addresses, QStringList({ "198.51.100.1", "198.51.100.4", "198.51.100.5" }));

        ServerListModel model;
        ServerLatency latency;
        connect(&latency, &ServerLatency::measured, &model, &ServerListModel::setRoundTrip);
        model.updateServerList(servers);
        QSignalSpy finished(&latency, &ServerLatency::roundFinished);
        latency.measure(servers);
        QVERIFY(finished.wait(10000));
        // Each far server's figure holds its delay line's length; the near one, where it answers, less.
        const int near = latency.roundTrip("198.51.100.1");
        const int middle = latency.roundTrip("198.51.100.4");
        const int far = latency.roundTrip("198.51.100.5");
        qInfo("round trips: %d, %d and %d ms", near, middle, far);
        QVERIFY2(middle >= 40 && far >= 120 && middle < far, qPrintable(QString("%1 %2").arg(middle).arg(far)));
        QVERIFY(dropped.startsWith("ip daddr") ? near == -1 : (near >= 0 && near < middle));
        QVERIFY(model.chooseQuickest());
        QCOMPARE(model.serverIp(), picked);
    }
};

QTEST_GUILESS_MAIN(TestQuickest)
#include "tst_quickest.moc"
