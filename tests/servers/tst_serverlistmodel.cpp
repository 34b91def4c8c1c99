#include "servers/serverlistmodel.h"
#include "settings/settings.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

Servers makeServers(int count)
{
    static const char* const countries[] = { "DE", "nl", "SE", "US", "CH" };
    Servers servers;
    for (int i = 0; i < count; ++i) {
        const QString country = QString::fromLatin1(countries[i % 5]);
        servers.append(Server(i, country, QStringLiteral("City%1").arg(i), QStringLiteral("server-%1").arg(i),
            QStringLiteral("198.51.100.%1").arg(i + 1), i * 20));
    }
    return servers;
}

// What the store holds, as another process would read it.
int storedServerId()
{
    QSettings store(QStringLiteral("VPN"), QStringLiteral("VPNClient"));
    store.sync();
    return store.value(QStringLiteral("Settings/currentServerId"), -100).toInt();
}

void writeStoredServerId(int id)
{
    QSettings store(QStringLiteral("VPN"), QStringLiteral("VPNClient"));
    store.setValue(QStringLiteral("Settings/currentServerId"), id);
    store.sync();
}

// Records the selection signals in the order they arrive.
class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(ServerListModel* model)
    {
        connect(model, &ServerListModel::locationTextChanged, this, [this](const QString& value) {
            events << QStringLiteral("text:") + value;
        });
        connect(model, &ServerListModel::locationImageSourceChanged, this, [this](const QString& value) {
            events << QStringLiteral("image:") + value;
        });
        connect(model, &ServerListModel::serverIpChanged, this, [this](const QString& value) {
            events << QStringLiteral("ip:") + value;
        });
        connect(model, &ServerListModel::isEmptyChanged, this, [this](bool value) {
            events << QStringLiteral("isEmpty:") + (value ? "true" : "false");
        });
    }

    QStringList events;
};

} // namespace

class TestServerListModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void passesModelTester();
    void roles();
    void strength_data();
    void strength();
    void storedIdRestoresChoice_data();
    void storedIdRestoresChoice();
    void storedIdOutOfRange();
    void emptyListFromFailedFeed();
    void choosingOutOfRangeChangesNothing_data();
    void choosingOutOfRangeChangesNothing();
    void rechoosingSavesAndSignalsAgain();

private:
    QTemporaryDir configDir;
};

void TestServerListModel::initTestCase()
{
    // The settings store goes to a private folder, never the user's.
    QVERIFY(configDir.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    QVERIFY(Settings::instance() != nullptr);
}

void TestServerListModel::init()
{
    Settings::instance()->setCurrentServerId(0);
    writeStoredServerId(0);
}

void TestServerListModel::passesModelTester()
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.updateServerList(makeServers(3));
    model.updateServerList(makeServers(5));
    model.updateServerList(Servers());
    model.updateServerList(Servers());
    model.updateServerList(makeServers(1));

    QCOMPARE(model.rowCount(), 1);
    // Rows are removed only when there were some, inserted only when there are some.
    QCOMPARE(removed.count(), 2);
    QCOMPARE(inserted.count(), 3);
    QCOMPARE(removed.at(1).at(2).toInt(), 4);
}

void TestServerListModel::roles()
{
    ServerListModel model;
    model.updateServerList(makeServers(3));

    const QHash<int, QByteArray> names = model.roleNames();
    QCOMPARE(names.size(), 6);
    QCOMPARE(names.value(256), QByteArray("Id"));
    QCOMPARE(names.value(261), QByteArray("CountryFlagSource"));

    const QModelIndex second = model.index(1);
    QCOMPARE(model.data(second, ServerListModel::Id).toInt(), 1);
    QCOMPARE(model.data(second, ServerListModel::Country).toString(), QStringLiteral("nl"));
    QCOMPARE(model.data(second, ServerListModel::City).toString(), QStringLiteral("City1"));
    QCOMPARE(model.data(second, ServerListModel::Name).toString(), QStringLiteral("server-1"));
    QCOMPARE(model.data(second, ServerListModel::CountryFlagSource).toString(),
        QStringLiteral("qrc:/resources/icons/flags/nl.png"));
    QCOMPARE(model.data(model.index(0), ServerListModel::CountryFlagSource).toString(),
        QStringLiteral("qrc:/resources/icons/flags/de.png"));

    QVERIFY(!model.data(second, Qt::DisplayRole).isValid());
    QVERIFY(!model.data(second, 262).isValid());
    QVERIFY(!model.data(model.index(3), ServerListModel::Id).isValid());
    QVERIFY(!model.data(QModelIndex(), ServerListModel::Id).isValid());
}

void TestServerListModel::strength_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("strength");
    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("0") << 0 << 3;
    QTest::newRow("55") << 55 << 3;
    QTest::newRow("56") << 56 << 2;
    QTest::newRow("75") << 75 << 2;
    QTest::newRow("76") << 76 << 1;
    QTest::newRow("250") << 250 << 1;
}

void TestServerListModel::strength()
{
    QFETCH(int, capacity);
    QFETCH(int, strength);
    ServerListModel model;
    model.updateServerList(Servers { Server(0, "DE", "Berlin", "de-ber", "198.51.100.1", capacity) });
    QCOMPARE(model.data(model.index(0), ServerListModel::Capacity).toInt(), strength);
}

void TestServerListModel::storedIdRestoresChoice_data()
{
    QTest::addColumn<int>("storedId");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("ip");
    QTest::newRow("third of three") << 2 << "SE, City2"
                                    << "qrc:/resources/icons/flags/se.png"
                                    << "198.51.100.3";
    QTest::newRow("default 0: the first") << 0 << "DE, City0"
                                          << "qrc:/resources/icons/flags/de.png"
                                          << "198.51.100.1";
    QTest::newRow("lower-case country") << 1 << "nl, City1"
                                        << "qrc:/resources/icons/flags/nl.png"
                                        << "198.51.100.2";
}

void TestServerListModel::storedIdRestoresChoice()
{
    QFETCH(int, storedId);
    QFETCH(QString, location);
    QFETCH(QString, image);
    QFETCH(QString, ip);

    Settings::instance()->setCurrentServerId(storedId);
    writeStoredServerId(-7); // proves the save below
    ServerListModel model;
    QCOMPARE(model.locationText(), QStringLiteral("Not selected"));
    QVERIFY(model.serverIp().isEmpty());
    SignalRecorder recorder(&model);

    QTest::ignoreMessage(QtInfoMsg, "ServerListModel: Update server list");
    model.updateServerList(makeServers(3));

    QCOMPARE(recorder.events, QStringList({ "isEmpty:true", "text:" + location, "image:" + image, "ip:" + ip }));
    QCOMPARE(model.locationText(), location);
    QCOMPARE(model.locationImageSource(), image);
    QCOMPARE(model.serverIp(), ip);
    QVERIFY(model.isEmpty());
    QCOMPARE(storedServerId(), storedId);
}

void TestServerListModel::storedIdOutOfRange()
{
    // The feed shrank since the id was stored.
    Settings::instance()->setCurrentServerId(3);
    writeStoredServerId(3);
    ServerListModel model;
    SignalRecorder recorder(&model);
    model.updateServerList(makeServers(3));

    QCOMPARE(recorder.events, QStringList({ "isEmpty:true" }));
    QCOMPARE(model.locationText(), QStringLiteral("Not selected"));
    QVERIFY(model.serverIp().isEmpty());
    QVERIFY(model.locationImageSource().isEmpty());
    QCOMPARE(Settings::instance()->currentServerId(), 3);
    QCOMPARE(storedServerId(), 3);
}

void TestServerListModel::emptyListFromFailedFeed()
{
    Settings::instance()->setCurrentServerId(1);
    writeStoredServerId(1);
    ServerListModel model;
    model.updateServerList(makeServers(2));
    SignalRecorder recorder(&model);
    writeStoredServerId(-7);

    model.updateServerList(Servers());

    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.isEmpty());
    QCOMPARE(recorder.events, QStringList({ "isEmpty:false" }));
    QCOMPARE(Settings::instance()->currentServerId(), 1);
    QCOMPARE(storedServerId(), -7); // not saved
}

void TestServerListModel::choosingOutOfRangeChangesNothing_data()
{
    QTest::addColumn<int>("serverId");
    QTest::newRow("-1") << -1;
    QTest::newRow("row count") << 3;
    QTest::newRow("far beyond") << 1000;
}

void TestServerListModel::choosingOutOfRangeChangesNothing()
{
    QFETCH(int, serverId);
    ServerListModel model;
    model.updateServerList(makeServers(3));
    model.updateCurrentServer(1);
    writeStoredServerId(-7);
    SignalRecorder recorder(&model);

    model.updateCurrentServer(serverId);

    QVERIFY(recorder.events.isEmpty());
    QCOMPARE(model.serverIp(), QStringLiteral("198.51.100.2"));
    QCOMPARE(Settings::instance()->currentServerId(), 1);
    QCOMPARE(storedServerId(), -7);
}

void TestServerListModel::rechoosingSavesAndSignalsAgain()
{
    ServerListModel model;
    model.updateServerList(makeServers(3));
    model.updateCurrentServer(1);
    QCOMPARE(storedServerId(), 1);
    writeStoredServerId(-7);
    SignalRecorder recorder(&model);
    QSignalSpy idChanged(Settings::instance(), &Settings::currentServerIdChanged);

    model.updateCurrentServer(1);

    QCOMPARE(recorder.events,
        QStringList({ "text:nl, City1", "image:qrc:/resources/icons/flags/nl.png", "ip:198.51.100.2" }));
    QCOMPARE(storedServerId(), 1);
    QCOMPARE(idChanged.count(), 0);

    model.updateCurrentServer(2);
    QCOMPARE(idChanged.count(), 1);
    QCOMPARE(storedServerId(), 2);
    QCOMPARE(model.locationText(), QStringLiteral("SE, City2"));
}

QTEST_GUILESS_MAIN(TestServerListModel)
#include "tst_serverlistmodel.moc"
