#include "servers/serverlistmodel.h"
#include "settings/settings.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

Servers makeServers(int count, int capacity = -100)
{
    static const char* const countries[] = { "DE", "nl", "SE" };
    Servers servers;
    for (int i = 0; i < count; ++i) {
        servers.append(Server(i, countries[i % 3], QStringLiteral("City%1").arg(i), QStringLiteral("server-%1").arg(i),
            QStringLiteral("198.51.100.%1").arg(i + 1), capacity == -100 ? i * 20 : capacity));
    }
    return servers;
}

// The stored choice as another process reads it; -7 before a save proves that the save happened.
int storedId(int write = -100)
{
    QSettings store(QStringLiteral("VPN"), QStringLiteral("VPNClient"));
    if (write != -100) {
        store.setValue(QStringLiteral("Settings/currentServerId"), write);
    }
    store.sync();
    return store.value(QStringLiteral("Settings/currentServerId"), -100).toInt();
}

// The selection signals in the order they arrive, each with its value.
template <typename... Signals> QStringList* record(ServerListModel* model, Signals... notifiers)
{
    auto* events = new QStringList;
    QObject::connect(model, &QObject::destroyed, [events] {
        delete events;
    });
    (QObject::connect(model, notifiers,
         [events](auto value) {
             *events << QVariant(value).toString();
         }),
        ...);
    return events;
}

QStringList* record(ServerListModel* model)
{
    return record(model, &ServerListModel::isEmptyChanged, &ServerListModel::locationTextChanged,
        &ServerListModel::locationImageSourceChanged, &ServerListModel::serverIpChanged);
}

} // namespace

class TestServerListModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The settings store goes to a private folder, never the user's.
        QVERIFY(configDir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
        QVERIFY(Settings::instance() != nullptr);
    }
    void passesModelTester();
    void capacityLevels_data();
    void capacityLevels();
    void storedIdRestoresChoice_data();
    void storedIdRestoresChoice();
    void emptyListFromFailedFeed();
    void choosing_data();
    void choosing();

private:
    QTemporaryDir configDir;
};

void TestServerListModel::passesModelTester()
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int count : { 3, 5, 0, 0, 1 }) {
        model.updateServerList(makeServers(count));
    }
    // Rows are removed only when there were some, inserted only when there are some.
    QCOMPARE(removed.count(), 2);
    QCOMPARE(inserted.count(), 3);
    QCOMPARE(removed.at(1).at(2).toInt(), 4);

    model.updateServerList(makeServers(3));
    const QModelIndex second = model.index(1);
    QCOMPARE(model.roleNames().value(256), QByteArray("Id"));
    QCOMPARE(model.roleNames().value(261), QByteArray("CountryFlagSource"));
    QCOMPARE(model.data(second, ServerListModel::CountryFlagSource), QVariant("qrc:/resources/icons/flags/nl.png"));
    QCOMPARE(
        model.data(model.index(0), ServerListModel::CountryFlagSource), QVariant("qrc:/resources/icons/flags/de.png"));
    QVERIFY(!model.data(second, 262).isValid());
    QVERIFY(!model.data(model.index(3), ServerListModel::Id).isValid());
}

void TestServerListModel::capacityLevels_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("level");
    for (const auto& row : { std::pair(-1, 0), { 0, 3 }, { 55, 3 }, { 56, 2 }, { 75, 2 }, { 76, 1 }, { 250, 1 } }) {
        QTest::addRow("%d", row.first) << row.first << row.second;
    }
}

void TestServerListModel::capacityLevels()
{
    QFETCH(int, capacity);
    QFETCH(int, level);
    ServerListModel model;
    model.updateServerList(makeServers(1, capacity));
    QCOMPARE(model.data(model.index(0), ServerListModel::Capacity).toInt(), level);
}

void TestServerListModel::storedIdRestoresChoice_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("events");
    const QString flags = "qrc:/resources/icons/flags/";
    QTest::newRow("first") << 0 << QStringList { "DE, City0", flags + "de.png", "198.51.100.1" };
    QTest::newRow("lower-case country") << 1 << QStringList { "nl, City1", flags + "nl.png", "198.51.100.2" };
    QTest::newRow("last") << 2 << QStringList { "SE, City2", flags + "se.png", "198.51.100.3" };
    QTest::newRow("out of range: the feed shrank") << 3 << QStringList();
}

void TestServerListModel::storedIdRestoresChoice()
{
    QFETCH(int, id);
    QFETCH(QStringList, events);
    Settings::instance()->setCurrentServerId(id);
    storedId(-7);
    ServerListModel model;
    QCOMPARE(model.locationText(), QStringLiteral("Not selected"));
    const QStringList* got = record(&model);

    QTest::ignoreMessage(QtInfoMsg, "ServerListModel: Update server list");
    model.updateServerList(makeServers(3));
    QCOMPARE(*got, QStringList("true") + events); // isEmpty is true when there are servers
    QCOMPARE(storedId(), events.isEmpty() ? -7 : id);
    QCOMPARE(Settings::instance()->currentServerId(), id);
    if (events.isEmpty()) {
        QCOMPARE(model.locationText(), QStringLiteral("Not selected"));
        QVERIFY(model.serverIp().isEmpty() && model.locationImageSource().isEmpty());
    } else {
        QCOMPARE(
            QStringList({ "" + model.locationText(), model.locationImageSource(), "" + model.serverIp() }), events);
    }
}

void TestServerListModel::emptyListFromFailedFeed()
{
    Settings::instance()->setCurrentServerId(1);
    ServerListModel model;
    model.updateServerList(makeServers(2));
    const QStringList* got = record(&model);
    storedId(-7);
    model.updateServerList(Servers());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(*got, QStringList { "false" });
    QCOMPARE(Settings::instance()->currentServerId(), 1);
    QCOMPARE(storedId(), -7); // not saved
}

void TestServerListModel::choosing_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("events");
    const QStringList one { "nl, City1", "qrc:/resources/icons/flags/nl.png", "198.51.100.2" };
    QTest::newRow("re-choosing signals and saves again") << 1 << one;
    QTest::newRow("another") << 2 << QStringList { "SE, City2", "qrc:/resources/icons/flags/se.png", "198.51.100.3" };
    QTest::newRow("-1 changes nothing") << -1 << QStringList();
    QTest::newRow("row count changes nothing") << 3 << QStringList();
    QTest::newRow("far beyond changes nothing") << 1000 << QStringList();
}

void TestServerListModel::choosing()
{
    QFETCH(int, id);
    QFETCH(QStringList, events);
    ServerListModel model;
    model.updateServerList(makeServers(3));
    model.updateCurrentServer(1);
    QCOMPARE(storedId(), 1);
    storedId(-7);
    const QStringList* got = record(&model);
    QSignalSpy idChanged(Settings::instance(), &Settings::currentServerIdChanged);

    model.updateCurrentServer(id);
    QCOMPARE(*got, events);
    const bool chosen = !events.isEmpty();
    QCOMPARE(storedId(), chosen ? id : -7);
    QCOMPARE(Settings::instance()->currentServerId(), chosen ? id : 1);
    QCOMPARE(idChanged.count(), chosen && id != 1 ? 1 : 0);
    QCOMPARE(model.serverIp(), chosen ? events.last() : QStringLiteral("198.51.100.2"));
}

QTEST_GUILESS_MAIN(TestServerListModel)
#include "tst_serverlistmodel.moc"
