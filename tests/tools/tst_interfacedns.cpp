// The dns tool's Windows logic on an in-memory registry: the tunnel's servers in, the user's back,
// whatever runs in between (a second "vpn", a crash, entries that hold our own servers).
#include "interfacedns.h"

#include <QMap>
#include <QTest>

namespace {

const QString G = "{1A000000-0000-0000-0000-00000000000A}";

// Keys compared without case, as the registry does; "-" for an absent value.
class FakeRegistry : public InterfaceDns::Registry
{
public:
    QMap<QString, QMap<QString, QString>> keys;
    int notices = 0;

    bool keyExists(const QString& key) override
    {
        return keys.contains(key.toLower());
    }
    std::optional<QString> value(const QString& key, const QString& name, QString*) override
    {
        const auto values = keys.value(key.toLower());
        return values.contains(name) ? std::optional<QString>(values.value(name)) : std::nullopt;
    }
    QString setValue(const QString& key, const QString& name, const QString& text) override
    {
        keys[key.toLower()][name] = text;
        return QString();
    }
    QString removeValue(const QString& key, const QString& name) override
    {
        if (keys.contains(key.toLower())) {
            keys[key.toLower()].remove(name);
        }
        return QString();
    }
    QStringList subkeys(const QString& key) override
    {
        QStringList names;
        const QString prefix = key.toLower() + '\\';
        for (const QString& name : keys.keys()) {
            if (name.startsWith(prefix) && !name.mid(prefix.size()).contains('\\')) {
                names << name.mid(prefix.size());
            }
        }
        return names;
    }
    QString removeKey(const QString& key) override
    {
        keys.remove(key.toLower());
        return QString();
    }
    QString notify(const QString&) override
    {
        ++notices;
        return QString();
    }

    QString text(const QString& key, const QString& name)
    {
        QString error;
        return value(key, name, &error).value_or("-");
    }
};

} // namespace

class TestInterfaceDns : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<QString>("userV4"); // "-": no value
        QTest::addColumn<bool>("hasV6");
        QTest::addColumn<bool>("cutShortCopy"); // a copy a crash left without its last value
        QTest::addColumn<QString>("commands"); // separated by ";", G for the interface
        QTest::addColumn<QString>("v4");
        QTest::addColumn<QString>("v6");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("notices");
        const QString user4 = "192.0.2.53,192.0.2.54";
        QTest::newRow("vpn") << user4 << true << false << "vpn G@10.8.0.1,fd00:8::1"
                             << "10.8.0.1"
                             << "fd00:8::1" << true << 0 << 1;
        QTest::newRow("vpn, user") << user4 << true << false << "vpn G@10.8.0.1,fd00:8::1;user" << user4 << "-" << false
                                   << 0 << 2;
        QTest::newRow("vpn twice keeps the first copy")
            << user4 << true << false << "vpn G@10.8.0.1,fd00:8::1;vpn G@10.9.0.1,;user" << user4 << "-" << false << 0
            << 3;
        QTest::newRow("the copy wins over entries of our own servers")
            << user4 << true << false << "vpn G@10.8.0.1,fd00:8::1;user G@10.8.0.1,fd00:8::1" << user4 << "-" << false
            << 0 << 2;
        QTest::newRow("IPv4 only") << "-" << true << false << "vpn G@10.8.0.1,"
                                   << "10.8.0.1"
                                   << "" << true << 0 << 1;
        QTest::newRow("user's entry where nothing was saved") << "-" << true << false << "user G@192.0.2.7,2001:db8::7"
                                                              << "192.0.2.7"
                                                              << "2001:db8::7" << false << 0 << 1;
        QTest::newRow("no server keeps the user's")
            << user4 << true << false << "vpn G@," << user4 << "-" << false << 0 << 0;
        QTest::newRow("unknown interface")
            << user4 << true << false << "vpn {1A000000-0000-0000-0000-0000000000FF}@10.8.0.1," << user4 << "-" << false
            << 1 << 0;
        QTest::newRow("interface name") << user4 << true << false << "vpn eth0@10.8.0.1," << user4 << "-" << false << 1
                                        << 0;
        QTest::newRow("no IPv6 key is made") << user4 << false << false << "vpn G@10.8.0.1,fd00:8::1"
                                             << "10.8.0.1"
                                             << "-" << true << 0 << 1;
        QTest::newRow("copy cut short by a crash")
            << user4 << true << true << "vpn G@10.8.0.1,fd00:8::1;user" << user4 << "-" << false << 0 << 2;
    }
    void runs()
    {
        QFETCH(QString, userV4);
        QFETCH(bool, hasV6);
        QFETCH(bool, cutShortCopy);
        QFETCH(QString, commands);
        FakeRegistry registry;
        const QString v4Key = InterfaceDns::interfaceKey(G, false), v6Key = InterfaceDns::interfaceKey(G, true);
        registry.keys[v4Key.toLower()]["Other"] = "kept";
        if (userV4 != "-") {
            registry.setValue(v4Key, InterfaceDns::nameServer, userV4);
        }
        if (hasV6) {
            registry.keys[v6Key.toLower()];
        }
        if (cutShortCopy) {
            registry.setValue(InterfaceDns::savedKey(G), "Tcpip", "10.8.0.1");
        }
        int failures = 0;
        for (const QString& command : commands.split(';')) {
            ResolverConfig::Request request;
            QVERIFY(ResolverConfig::parse(QString(command).replace("G", G).split(' '), &request).isEmpty());
            failures += InterfaceDns::apply(request, &registry).size();
        }
        QTEST(registry.text(v4Key, InterfaceDns::nameServer), "v4");
        QTEST(registry.text(v6Key, InterfaceDns::nameServer), "v6");
        QCOMPARE(registry.text(v4Key, "Other"), QString("kept"));
        QTEST(registry.keyExists(InterfaceDns::savedKey(G)), "saved");
        QTEST(failures, "failures");
        QTEST(registry.notices, "notices");
    }
};

QTEST_GUILESS_MAIN(TestInterfaceDns)
#include "tst_interfacedns.moc"
