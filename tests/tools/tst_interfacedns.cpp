// The dns tool's Windows logic on an in-memory registry: the tunnel's servers in, the user's back,
// whatever runs in between (a second "vpn", a crash, entries that hold our own servers).
#include "interfacedns.h"

#include <QMap>
#include <QTest>

#include <iterator>

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
        QStringList names; // our copies' keys only: nothing deeper is made here
        for (const QString& name : keys.keys()) {
            names << (name.startsWith(key.toLower() + '\\') ? name.section('\\', -1) : QString());
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

const char* const user4 = "192.0.2.53,192.0.2.54";
// The interface's IPv4 value at the start ("-": none), whether it has an IPv6 key, whether a crash
// left a copy without its last value; the commands (G: the interface); the values at the end, whether
// a copy is kept, the failures and the notices to the system.
const struct Row
{
    const char *name, *userV4;
    bool hasV6, cutShortCopy;
    const char *commands, *v4, *v6;
    bool saved;
    int failures, notices;
} rows[] = {
    { "vpn", user4, true, false, "vpn G@10.8.0.1,fd00:8::1", "10.8.0.1", "fd00:8::1", true, 0, 1 },
    { "vpn, user", user4, true, false, "vpn G@10.8.0.1,fd00:8::1;user", user4, "-", false, 0, 2 },
    { "vpn twice keeps the first copy", user4, true, false, "vpn G@10.8.0.1,fd00:8::1;vpn G@10.9.0.1,;user", user4, "-",
        false, 0, 3 },
    { "the copy wins over entries of our own servers", user4, true, false,
        "vpn G@10.8.0.1,fd00:8::1;user G@10.8.0.1,fd00:8::1", user4, "-", false, 0, 2 },
    { "IPv4 only", "-", true, false, "vpn G@10.8.0.1,", "10.8.0.1", "", true, 0, 1 },
    { "user's entry where nothing was saved", "-", true, false, "user G@192.0.2.7,2001:db8::7", "192.0.2.7",
        "2001:db8::7", false, 0, 1 },
    { "no server keeps the user's", user4, true, false, "vpn G@,", user4, "-", false, 0, 0 },
    { "unknown interface", user4, true, false, "vpn {1A000000-0000-0000-0000-0000000000FF}@10.8.0.1,", user4, "-",
        false, 1, 0 },
    { "interface name", user4, true, false, "vpn eth0@10.8.0.1,", user4, "-", false, 1, 0 },
    { "no IPv6 key is made", user4, false, false, "vpn G@10.8.0.1,fd00:8::1", "10.8.0.1", "-", true, 0, 1 },
    { "copy cut short by a crash", user4, true, true, "vpn G@10.8.0.1,fd00:8::1;user", user4, "-", false, 0, 2 },
};

} // namespace

class TestInterfaceDns : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(rows)); ++i) {
            QTest::newRow(rows[i].name) << i;
        }
    }
    void runs()
    {
        QFETCH(int, row);
        const Row& r = rows[row];
        FakeRegistry registry;
        const QString v4Key = InterfaceDns::interfaceKey(G, false), v6Key = InterfaceDns::interfaceKey(G, true);
        registry.keys[v4Key.toLower()]["Other"] = "kept";
        if (QString(r.userV4) != "-") {
            registry.setValue(v4Key, InterfaceDns::nameServer, r.userV4);
        }
        if (r.hasV6) {
            registry.keys[v6Key.toLower()];
        }
        if (r.cutShortCopy) {
            registry.setValue(InterfaceDns::savedKey(G), "Tcpip", "10.8.0.1");
        }
        int failures = 0;
        for (const QString& command : QString(r.commands).split(';')) {
            ResolverConfig::Request request;
            QVERIFY(ResolverConfig::parse(QString(command).replace("G", G).split(' '), &request).isEmpty());
            failures += InterfaceDns::apply(request, &registry).size();
        }
        QCOMPARE(registry.text(v4Key, InterfaceDns::nameServer), QString(r.v4));
        QCOMPARE(registry.text(v6Key, InterfaceDns::nameServer), QString(r.v6));
        QCOMPARE(registry.text(v4Key, "Other"), QString("kept"));
        QCOMPARE(registry.keyExists(InterfaceDns::savedKey(G)), r.saved);
        QCOMPARE(failures, r.failures);
        QCOMPARE(registry.notices, r.notices);
    }
};

QTEST_GUILESS_MAIN(TestInterfaceDns)
#include "tst_interfacedns.moc"
