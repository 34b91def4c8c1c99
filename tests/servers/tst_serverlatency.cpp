#include "../support/testkit.h"
#include "platform/latencyprobe.h"
#include "servers/serverlatency.h"
#include "servers/serverlistmodel.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Answers when the test says so; counts the probes open at once.
class FakeProbe : public LatencyProbe
{
public:
    explicit FakeProbe(QObject* parent, QList<FakeProbe*>* open)
        : LatencyProbe(parent)
        , open(open)
    { }
    void measure(const QString& address, quint16 port, int) override
    {
        target = address;
        tcpPort = port;
        open->append(this);
    }
    void answer(int milliseconds)
    {
        open->removeAll(this);
        emit finished(target, milliseconds, LatencyProbe::TcpConnect);
    }
    QList<FakeProbe*>* open;
    QString target;
    quint16 tcpPort = 0;
};

// "ms@load" per server, "-" for no figure; server ids are positions.
Servers makeServers(const QStringList& rows, QHash<QString, int>* roundTrips)
{
    Servers servers;
    for (const QString& row : rows) {
        const QStringList parts = row.split('@');
        const QString ip = QStringLiteral("198.51.100.%1").arg(servers.size() + 1);
        servers.append(Server(servers.size(), "NL", "City", "s" + ip, ip, parts.value(1).toInt()));
        if (parts.at(0) != "-") {
            roundTrips->insert(ip, parts.at(0).toInt());
        }
    }
    return servers;
}

} // namespace

class TestServerLatency : public QObject
{
    Q_OBJECT

    TemporaryProfile profile;

private slots:
    void pick_data()
    {
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<int>("picked");
        QTest::newRow("5, 40 and 120 ms") << QStringList { "40@35", "5@35", "120@35" } << 1;
        QTest::newRow("the nearest though busier") << QStringList { "40@10", "5@90", "120@0" } << 1;
        QTest::newRow("similar round trips: the lighter") << QStringList { "20@90", "30@10" } << 1;
        QTest::newRow("unmeasured left out") << QStringList { "-@0", "60@80" } << 1;
        QTest::newRow("none measured: the lightest") << QStringList { "-@70", "-@20", "-@40" } << 1;
        QTest::newRow("unknown load counts as half") << QStringList { "10@-1", "10@60" } << 0;
        QTest::newRow("under a millisecond: load decides") << QStringList { "0@80", "1@10" } << 1;
        QTest::newRow("empty list") << QStringList {} << -1;
    }
    void pick()
    {
        QFETCH(QStringList, servers);
        QFETCH(int, picked);
        QHash<QString, int> roundTrips;
        const Servers list = makeServers(servers, &roundTrips);
        QCOMPARE(ServerLatency::pickQuickest(list, roundTrips), picked);

        // The list's entry picks the same, from the figures it was given.
        ServerListModel model;
        model.updateServerList(list);
        for (auto it = roundTrips.cbegin(); it != roundTrips.cend(); ++it) {
            model.setRoundTrip(it.key(), it.value());
        }
        QCOMPARE(model.chooseQuickest(), picked >= 0);
        QCOMPARE(picked >= 0 ? model.serverIp() : QString(), picked >= 0 ? list.at(picked).ip : QString());
    }

    // A round: at most maxParallel probes at once, each figure to the model's row, one round at a time,
    // none while a tunnel or the lock stands in the way.
    void rounds_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::newRow("free") << "";
        QTest::newRow("tunnel up") << "tunnel";
        QTest::newRow("lock engaged") << "lock";
    }
    void rounds()
    {
        QFETCH(QString, blocker);
        QList<FakeProbe*> open;
        ServerLatency latency;
        latency.setProbeFactory([&open](QObject* parent) {
            return new FakeProbe(parent, &open);
        });
        latency.setTunnelActive(blocker == "tunnel");
        latency.setLockEngaged(blocker == "lock");
        ServerListModel model;
        connect(&latency, &ServerLatency::measured, &model, &ServerListModel::setRoundTrip);
        QHash<QString, int> unused;
        const Servers servers = makeServers({ "-", "-", "-", "-", "-", "-" }, &unused);
        model.updateServerList(servers);
        QSignalSpy finished(&latency, &ServerLatency::roundFinished);

        latency.measure(servers);
        if (!blocker.isEmpty()) {
            QVERIFY(open.isEmpty() && !latency.probing());
            return;
        }
        QCOMPARE(open.size(), ServerLatency::maxParallel);
        QCOMPARE(open.first()->tcpPort, ServerLatency::tcpPort);
        latency.measure(servers); // a refresh during a round starts no second one
        QCOMPARE(open.size(), ServerLatency::maxParallel);
        int answered = 0;
        while (!open.isEmpty()) {
            QVERIFY(open.size() <= ServerLatency::maxParallel);
            open.first()->answer(answered == 2 ? -1 : 10 * (answered + 1));
            ++answered;
        }
        QCOMPARE(answered, servers.size());
        QCOMPARE(finished.count(), 1);
        QList<int> shown;
        for (int row = 0; row < model.rowCount(); ++row) {
            shown << model.data(model.index(row), ServerListModel::RoundTrip).toInt();
        }
        QCOMPARE(shown, QList<int>({ 10, 20, -1, 40, 50, 60 }));
        QCOMPARE(latency.roundTrip(servers.at(1).ip), 20);

        // The next refresh measures again; a server that stops answering loses its figure.
        latency.measure(servers);
        QCOMPARE(open.size(), ServerLatency::maxParallel);
        open.first()->answer(-1);
        QCOMPARE(model.data(model.index(0), ServerListModel::RoundTrip).toInt(), -1);
    }
};

QTEST_GUILESS_MAIN(TestServerLatency)
#include "tst_serverlatency.moc"
