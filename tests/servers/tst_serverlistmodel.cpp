#include "../support/testkit.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

namespace {

Servers makeServers(int count, int capacity = 0)
{
    static const char* const countries[] = { "DE", "nl", "SE" };
    Servers servers;
    for (int i = 0; i < count; ++i) {
        servers.append(Server(i, countries[i % 3], QStringLiteral("City%1").arg(i), QStringLiteral("server-%1").arg(i),
            QStringLiteral("198.51.100.%1").arg(i + 1), capacity));
    }
    return servers;
}

} // namespace

class TestServerListModel : public QObject
{
    Q_OBJECT

    TemporaryProfile profile; // the settings store goes to a private folder, never the user's

private slots:
    void passesModelTester();
    void selection_data();
    void selection();
};

void TestServerListModel::passesModelTester()
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int count : { 3, 5, 0, 0, 1, 3 }) {
        model.updateServerList(makeServers(count));
    }
    // Rows are removed only when there were some, inserted only when there are some.
    QCOMPARE(removed.count(), 3);
    QCOMPARE(inserted.count(), 4);
    QCOMPARE(removed.at(1).at(2).toInt(), 4);
    QCOMPARE(model.roleNames().value(256) + model.roleNames().value(261), QByteArray("IdCountryFlagSource"));
    QVERIFY(!model.data(model.index(1), 266).isValid() && !model.data(model.index(3), 256).isValid());

    // Load levels from the capacity.
    Servers servers;
    for (int capacity : { -1, 0, 55, 56, 75, 76, 250 }) {
        servers += makeServers(1, capacity);
    }
    model.updateServerList(servers);
    QList<int> levels;
    for (int row = 0; row < model.rowCount(); ++row) {
        levels << model.data(model.index(row), ServerListModel::Capacity).toInt();
    }
    QCOMPARE(levels, QList<int>({ 0, 3, 3, 2, 2, 1, 1 }));
}

void TestServerListModel::selection_data()
{
    QTest::addColumn<int>("stored"); // the choice in the settings at start
    QTest::addColumn<int>("count"); // servers in the list
    QTest::addColumn<int>("choose"); // then chosen by the user; -100 for none
    QTest::addColumn<QString>("events"); // after the list update, or after the choice when there is one
    QTest::addColumn<int>("saved"); // -7 for nothing saved
    // clang-format off
    QTest::newRow("stored restored") << 0 << 3 << -100 << "true|DE, City0|qrc:/resources/icons/flags/de.png|198.51.100.1" << 0;
    QTest::newRow("lower-case country") << 1 << 3 << -100 << "true|nl, City1|qrc:/resources/icons/flags/nl.png|198.51.100.2" << 1;
    QTest::newRow("stored out of range") << 3 << 3 << -100 << "true" << -7;
    QTest::newRow("empty list: a failed feed") << 1 << 0 << -100 << "false" << -7;
    QTest::newRow("re-choosing signals and saves again") << 1 << 3 << 1 << "nl, City1|qrc:/resources/icons/flags/nl.png|198.51.100.2" << 1;
    QTest::newRow("another") << 1 << 3 << 2 << "SE, City2|qrc:/resources/icons/flags/se.png|198.51.100.3" << 2;
    QTest::newRow("-1 changes nothing") << 1 << 3 << -1 << "" << -7;
    QTest::newRow("row count changes nothing") << 1 << 3 << 3 << "" << -7;
    // clang-format on
}

void TestServerListModel::selection()
{
    QFETCH(int, stored);
    QFETCH(int, count);
    QFETCH(int, choose);
    QFETCH(QString, events);
    QFETCH(int, saved);
    // The stored choice as another process reads it: -7 before each step proves the save.
    QSettings store(QStringLiteral("VPN"), QStringLiteral("VPNClient"));
    const auto write = [&store](int id) {
        store.setValue(QStringLiteral("Settings/currentServerId"), id);
        store.sync();
    };
    Settings::instance()->setCurrentServerId(stored);
    write(-7);
    ServerListModel model;
    QCOMPARE(model.locationText(), QStringLiteral("Not selected"));
    QStringList got;
    const auto record = [&got](auto value) {
        got << QVariant(value).toString();
    };
    connect(&model, &ServerListModel::isEmptyChanged, this, record); // true when there are servers
    connect(&model, &ServerListModel::locationTextChanged, this, record);
    connect(&model, &ServerListModel::locationImageSourceChanged, this, record);
    connect(&model, &ServerListModel::serverIpChanged, this, record);
    model.updateServerList(makeServers(count));
    if (choose != -100) {
        got.clear();
        write(-7);
    }
    QSignalSpy idChanged(Settings::instance(), &Settings::currentServerIdChanged);
    if (choose != -100) {
        model.updateCurrentServer(choose);
    }
    QCOMPARE(got.join('|'), events);
    store.sync();
    QCOMPARE(store.value(QStringLiteral("Settings/currentServerId")).toInt(), saved);
    QCOMPARE(Settings::instance()->currentServerId(), saved == -7 ? stored : saved);
    QCOMPARE(idChanged.count(), saved != -7 && saved != stored ? 1 : 0);
    // Shown is what was signalled last, else the restored choice, else nothing.
    const QString shown = QStringList { model.locationText(), model.locationImageSource(), model.serverIp() }.join('|');
    const bool restored = events.isEmpty() && shown.startsWith("nl, City1|");
    QVERIFY2(
        events.endsWith(shown) || restored || (!events.contains(',') && shown == "Not selected||"), qPrintable(shown));
}

QTEST_GUILESS_MAIN(TestServerListModel)
#include "tst_serverlistmodel.moc"
