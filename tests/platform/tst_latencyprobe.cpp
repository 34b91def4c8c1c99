#include "platform/latencyprobe.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <unistd.h>

// The probe against the real kernel of the test's own network namespace: the echo where the
// namespace's ping_group_range lets the user in, the TCP connect where it does not.
class TestLatencyProbe : public QObject
{
    Q_OBJECT

    static bool setPingGroups(const QByteArray& range)
    {
        QFile file("/proc/sys/net/ipv4/ping_group_range");
        return file.open(QIODevice::WriteOnly) && file.write(range) == range.size();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<LatencyProbe::Method>();
    }
    void measure_data()
    {
        QTest::addColumn<QByteArray>("pingGroups"); // empty: leave as it is
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("listening"); // a TCP listener on the port
        QTest::addColumn<QString>("dropped"); // what an nftables rule drops on the way in
        QTest::addColumn<QString>("expected"); // method, and whether a figure came
        const QByteArray allowed("0 2147483647"), barred("1 0");
        // clang-format off
        QTest::newRow("echo allowed") << allowed << "127.0.0.1" << false << "" << "Echo figure";
        QTest::newRow("echo allowed, IPv6") << allowed << "::1" << false << "" << "Echo figure";
        QTest::newRow("echo not allowed: TCP") << barred << "127.0.0.1" << true << "" << "TcpConnect figure";
        QTest::newRow("refused: no figure") << barred << "127.0.0.1" << false << "" << "TcpConnect none";
        QTest::newRow("echo unanswered: TCP") << allowed << "127.0.0.1" << true << "icmp type echo-reply" << "TcpConnect figure";
        QTest::newRow("nothing answers in time") << barred << "127.0.0.1" << true << "tcp flags syn" << "TcpConnect none";
        // clang-format on
    }
    void measure()
    {
        QFETCH(QByteArray, pingGroups);
        QFETCH(QString, address);
        QFETCH(bool, listening);
        QFETCH(QString, dropped);
        QFETCH(QString, expected);
        if (geteuid() != 0 || !setPingGroups(pingGroups)) {
            QSKIP("needs root in a network namespace of its own to set ping_group_range");
        }
        const auto nft = [](const QString& rules) {
            QProcess process;
            process.start("nft", { "-f", "-" });
            process.write(rules.toUtf8());
            process.closeWriteChannel();
            return process.waitForFinished(10000) && process.exitCode() == 0;
        };
        const QString table = "table inet tst_latencyprobe\ndelete table inet tst_latencyprobe\n";
        if (!dropped.isEmpty()) {
            QVERIFY(nft(table + "table inet tst_latencyprobe {\nchain in {\ntype filter hook input priority 0;\n"
                + dropped + " drop\n}\n}\n"));
        }
        const auto lift = qScopeGuard([&] {
            nft(table);
        });
        QCOMPARE(LatencyProbe::echoAllowed(), pingGroups.startsWith("0 "));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        if (!listening) {
            server.close();
        }
        LatencyProbe probe;
        QSignalSpy finished(&probe, &LatencyProbe::finished);
        probe.measure(address, port, 400);
        // Bounded: the answer comes within the limit (with room for a loaded machine).
        QVERIFY(finished.wait(1200));
        QTest::qWait(50); // no second report
        QCOMPARE(finished.count(), 1);
        const auto method = finished.at(0).at(2).value<LatencyProbe::Method>();
        const int milliseconds = finished.at(0).at(1).toInt();
        QCOMPARE(QString("%1 %2").arg(QMetaEnum::fromType<LatencyProbe::Method>().valueToKey(method),
                     milliseconds >= 0 ? "figure" : "none"),
            expected);
        QCOMPARE(finished.at(0).at(0).toString(), address);
    }
};

QTEST_GUILESS_MAIN(TestLatencyProbe)
#include "tst_latencyprobe.moc"
