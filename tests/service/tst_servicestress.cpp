// The service is killed and restarted again and again while the client keeps giving commands:
// every command reaches it once and in order, and "init: connection" goes out only once.
#include "service/servicecontroller.h"
#include "service/serviceprocess.h"
#include "servicefixture.h"

#include <QSignalSpy>
#include <QTest>

class TestServiceStress : public QObject
{
    Q_OBJECT

private slots:
    void restartsWhileCommandsFlow();
};

void TestServiceStress::restartsWhileCommandsFlow()
{
    constexpr int rounds = 9;
    constexpr int whileDown = 6;
    constexpr int whileUp = 6;

    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.startService());
    ServiceController controller;
    QSignalSpy connected(&controller, &ServiceController::connected);
    QSignalSpy disconnected(&controller, &ServiceController::disconnected);
    ServiceProcess killSwitch("killswitch");
    QSignalSpy started(&killSwitch, &ServiceProcess::started);
    QSignalSpy finished(&killSwitch, &ServiceProcess::finished);
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);

    int sent = 0;
    QStringList expected { "killswitch disable all" };
    const auto give = [&] {
        ++sent;
        killSwitch.start(QStringList { fixture.path("killswitch"), "seq", QString::number(sent) });
        expected.append(QStringLiteral("killswitch seq %1").arg(sent));
    };

    for (int round = 0; round < rounds; ++round) {
        // Commands while the link is up; the service dies once they have run.
        for (int i = 0; i < whileUp; ++i) {
            give();
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), sent, 10000);
        fixture.killService();
        QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), round + 1, 5000);
        // Commands while it is down are queued.
        for (int i = 0; i < whileDown; ++i) {
            give();
        }
        QVERIFY(fixture.startService());
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), round + 2, 8000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), sent, 10000);
    QTest::qWait(300);

    const QStringList records = fixture.records();
    QCOMPARE(records, expected);
    QCOMPARE(started.count(), sent);
    QCOMPARE(finished.count(), sent);
    const int inits = fixture.serviceLog().count(": init: connection");
    QCOMPARE(inits, 1);
    fixture.stopService();
    QVERIFY2(fixture.sanitizerReport().isEmpty(), qPrintable(fixture.sanitizerReport()));
    qInfo().noquote() << QStringLiteral("stress: %1 service restarts, %2 commands sent, %3 runs recorded in order "
                                        "(plus one init run), %4 started and %5 finished lines, %6 init commands")
                             .arg(rounds)
                             .arg(sent)
                             .arg(records.size() - 1)
                             .arg(started.count())
                             .arg(finished.count())
                             .arg(inits);
}

QTEST_GUILESS_MAIN(TestServiceStress)
#include "tst_servicestress.moc"
