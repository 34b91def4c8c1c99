// The service's Windows rules, without the system: which process owns a connection's end in the TCP
// table, what a token's user and groups make of it, who may change a program by its access list,
// and what the service tells the service manager as it starts and stops. Runs on both systems.
#include "accesslist.h"
#include "foundation/tcptable.h"
#include "servicestatus.h"
#include "tokenstanding.h"

#include <QTest>

namespace {

// "ADDRESS:PORT", the address in brackets for IPv6.
std::pair<QHostAddress, quint16> end(const QString& text)
{
    const int colon = text.lastIndexOf(':');
    QString address = text.left(colon);
    address.remove('[').remove(']');
    return { QHostAddress(address), quint16(text.mid(colon + 1).toUInt()) };
}

// Rows as "STATE LOCAL REMOTE PID", separated by ";"; STATE is L (listening), E (established) or O.
std::vector<TcpTable::Row> rowsOf(const QString& text)
{
    std::vector<TcpTable::Row> rows;
    for (const QString& line : text.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(' ', Qt::SkipEmptyParts);
        const auto local = end(words.at(1));
        const auto remote = end(words.at(2));
        const TcpTable::State state = words.at(0) == "L" ? TcpTable::State::Listening
            : words.at(0) == "E"                         ? TcpTable::State::Established
                                                         : TcpTable::State::Other;
        rows.push_back({ local.first, local.second, remote.first, remote.second, state, words.at(3).toUInt() });
    }
    return rows;
}

} // namespace

class TestWindowsRules : public QObject
{
    Q_OBJECT

private slots:
    // The peer is 127.0.0.1:50000, the service's listener 127.0.0.1:6447 (pid 4): the peer's row is
    // the one whose own end is the peer's. "listen" asks for the listener of port 6447 instead.
    void tcpTable_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<bool>("listen");
        QTest::addColumn<uint>("pid");
        QTest::addColumn<QString>("reason");
        const QString peer = "E 127.0.0.1:50000 127.0.0.1:6447 ", ours = "E 127.0.0.1:6447 127.0.0.1:50000 4;";
        // clang-format off
        QTest::newRow("the peer's row") << ours + peer + "7" << false << 7u << "";
        QTest::newRow("only the service's own end") << ours << false << 0u << "has no connection";
        QTest::newRow("its port reused by another process") << "E 127.0.0.1:50000 127.0.0.1:8080 9;" + ours + peer + "7" << false << 7u << "";
        QTest::newRow("closed before it was taken") << ours + "O 127.0.0.1:50000 127.0.0.1:6447 7" << false << 0u << "has no connection";
        QTest::newRow("from another loopback address") << ours + "E 127.0.0.2:50000 127.0.0.1:6447 7" << false << 0u << "has no connection";
        QTest::newRow("IPv4-mapped IPv6") << "E [::ffff:127.0.0.1]:50000 [::ffff:127.0.0.1]:6447 7" << false << 7u << "";
        QTest::newRow("IPv6 loopback") << "E [::1]:50000 [::1]:6447 7" << false << 0u << "has no connection";
        QTest::newRow("two processes claim it") << peer + "7;" + peer + "8" << false << 0u << "names processes 7 and 8";
        QTest::newRow("no process named") << ours + peer + "0" << false << 0u << "names no process";
        QTest::newRow("listener on 127.0.0.1 first") << "L 0.0.0.0:6447 0.0.0.0:0 9;L 127.0.0.1:6447 0.0.0.0:0 4" << true << 4u << "";
        QTest::newRow("listener on every address") << "L 0.0.0.0:6447 0.0.0.0:0 9;L 127.0.0.1:6448 0.0.0.0:0 4" << true << 9u << "";
        QTest::newRow("only an IPv6 listener") << "L [::]:6447 [::]:0 9" << true << 0u << "nothing listens";
        QTest::newRow("a connection is no listener") << ours << true << 0u << "nothing listens";
        // clang-format on
    }
    void tcpTable()
    {
        QFETCH(QString, rows);
        QFETCH(bool, listen);
        QString why;
        const QHostAddress loopback(QHostAddress::LocalHost);
        const quint32 found = listen ? TcpTable::listenerOwner(rowsOf(rows), 6447, &why)
                                     : TcpTable::connectionOwner(rowsOf(rows), loopback, 50000, loopback, 6447, &why);
        QFETCH(uint, pid);
        QCOMPARE(found, pid);
        QFETCH(QString, reason);
        QVERIFY2(reason.isEmpty() ? why.isEmpty() : why.contains(reason), qPrintable(why));
    }

    // The group's SID is S-1-5-21-1-2-3-1001; groups as "SID/ATTRIBUTES", separated by spaces.
    void token_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<uint>("integrity");
        QTest::addColumn<bool>("restricted");
        QTest::addColumn<QString>("serviceUser");
        QTest::addColumn<QString>("standing"); // root, own, member, or the reason refused
        const QString user = "S-1-5-21-1-2-3-1000", group = "S-1-5-21-1-2-3-1001", system = "S-1-5-18";
        // clang-format off
        QTest::newRow("LocalSystem") << system << "" << 0x4000u << false << system << "root";
        QTest::newRow("a member") << user << "S-1-1-0/7 " + group + "/7" << 0x2000u << false << system << "member";
        QTest::newRow("the group deny-only") << user << group + "/10" << 0x2000u << false << system << "not enabled";
        QTest::newRow("the group deny-only, enabled bit set") << user << group + "/14" << 0x2000u << false << system << "not enabled";
        QTest::newRow("the group disabled") << user << group + "/3" << 0x2000u << false << system << "not enabled";
        QTest::newRow("no group") << user << "S-1-1-0/7" << 0x2000u << false << system << "neither LocalSystem nor a member";
        QTest::newRow("an elevated administrator") << user << "S-1-5-32-544/f" << 0x3000u << false << system << "neither LocalSystem nor a member";
        QTest::newRow("the group missing") << user << "" << 0x2000u << false << system << "does not exist";
        QTest::newRow("a member at low integrity") << user << group + "/7" << 0x1000u << false << system << "sandboxed";
        QTest::newRow("a member restricted") << user << group + "/7" << 0x2000u << true << system << "sandboxed";
        QTest::newRow("the service's own account") << user << "S-1-5-32-544/f" << 0x3000u << false << user << "own";
        QTest::newRow("LocalSystem sandboxed") << system << "" << 0x1000u << false << system << "sandboxed";
        QTest::newRow("no user") << "" << group + "/7" << 0x2000u << false << system << "names no user";
        // clang-format on
    }
    void token()
    {
        QFETCH(QString, user);
        QFETCH(QString, groups);
        QFETCH(uint, integrity);
        QFETCH(bool, restricted);
        QFETCH(QString, serviceUser);
        QFETCH(QString, standing);
        TokenStanding::Token token { user, {}, integrity, restricted };
        for (const QString& entry : groups.split(' ', Qt::SkipEmptyParts)) {
            token.groups.append({ entry.section('/', 0, 0), entry.section('/', 1).toUInt(nullptr, 16) });
        }
        const QString group = standing == "does not exist" ? QString() : "S-1-5-21-1-2-3-1001";
        QString reason;
        const TokenStanding::Standing result = TokenStanding::standing(token, group, serviceUser, "korvexvpn", &reason);
        const QStringList names { "root", "own", "member" };
        QCOMPARE(result == TokenStanding::Standing::Refused ? QString() : names.at(int(result)),
            names.contains(standing) ? standing : QString());
        QVERIFY2(names.contains(standing) || reason.contains(standing), qPrintable(reason));
    }

    // The owner and entries as "SID/MASK[/i]" (i: inherit only, d: denies); trusted: LocalSystem,
    // Administrators, TrustedInstaller and the service's own account S-1-5-21-1-2-3-500.
    void accessList_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("problem");
        const QString system = "S-1-5-18/1f01ff S-1-5-32-544/1f01ff ", users = "S-1-5-32-545/";
        // clang-format off
        QTest::newRow("Program Files' own") << "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464" << system + users + "1200a9" << "";
        QTest::newRow("the service's own account") << "S-1-5-21-1-2-3-500" << "S-1-5-21-1-2-3-500/1f01ff" << "";
        QTest::newRow("owned by a user") << "S-1-5-21-1-2-3-1000" << system << "owned by S-1-5-21-1-2-3-1000";
        QTest::newRow("no access list") << "S-1-5-18" << "-" << "no access list";
        QTest::newRow("users may write") << "S-1-5-18" << system + users + "1200ab" << "S-1-5-32-545 may change it";
        QTest::newRow("users may add folders to a folder") << "S-1-5-18" << system + users + "1200ad" << "S-1-5-32-545 may change it";
        QTest::newRow("users may delete a child") << "S-1-5-18" << system + users + "1200e9" << "may change it";
        QTest::newRow("users may rewrite the list") << "S-1-5-18" << system + users + "1600a9" << "may change it";
        QTest::newRow("generic write") << "S-1-5-18" << system + "S-1-1-0/40000000" << "S-1-1-0 may change it";
        QTest::newRow("inherit only") << "S-1-5-18" << system + "S-1-3-0/10000000/i" << "";
        QTest::newRow("a denying entry") << "S-1-5-18" << system + users + "1f01ff/d" << "";
        QTest::newRow("Wine's world-writable folder") << "S-1-5-21-1-2-3-500" << "S-1-5-18/1f01ff S-1-1-0/1301ff" << "S-1-1-0 may change it";
        // clang-format on
    }
    void accessList()
    {
        QFETCH(QString, owner);
        QFETCH(QString, entries);
        QList<AccessList::Entry> list;
        for (const QString& entry : entries.split(' ', Qt::SkipEmptyParts)) {
            const QString flags = entry.section('/', 2);
            if (entry != "-") {
                list.append({ entry.section('/', 0, 0), entry.section('/', 1, 1).toUInt(nullptr, 16), flags != "d",
                    flags == "i" });
            }
        }
        const QString found = AccessList::problem(
            owner, entries != "-", list, AccessList::systemAccounts() + QStringList { "S-1-5-21-1-2-3-500" });
        QFETCH(QString, problem);
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
    }

    // Controls and events in order, what each control answered (q: quit now, h: handled, -: not
    // handled), and the state at the end.
    void serviceStatus_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("answers");
        QTest::addColumn<QString>("state");
        // clang-format off
        QTest::newRow("a stop quits once") << "serve stop stop" << "qh" << "stop-pending 2";
        QTest::newRow("a shutdown quits") << "serve shutdown stop" << "qh" << "stop-pending 2";
        QTest::newRow("a stop while starting stands") << "stop serve" << "q" << "stop-pending 1";
        QTest::newRow("interrogate changes nothing") << "serve interrogate" << "h" << "running 0";
        QTest::newRow("other controls are not handled") << "serve other" << "-" << "running 0";
        QTest::newRow("stopped with its exit code") << "serve stop end:3 stop" << "qh" << "stopped 0 exit 3";
        // clang-format on
    }
    void serviceStatus()
    {
        QFETCH(QString, events);
        ServiceStatus status;
        QString given;
        for (const QString& event : events.split(' ')) {
            if (event == "serve") {
                status.serving();
            } else if (event.startsWith("end:")) {
                status.stopped(event.mid(4).toInt());
            } else {
                const auto control = event == "stop" ? ServiceStatus::Control::Stop
                    : event == "shutdown"            ? ServiceStatus::Control::Shutdown
                    : event == "interrogate"         ? ServiceStatus::Control::Interrogate
                                                     : ServiceStatus::Control::Other;
                const ServiceStatus::Answer answer = status.control(control);
                given += answer.quit ? 'q' : answer.handled ? 'h' : '-';
            }
        }
        QFETCH(QString, answers);
        QCOMPARE(given, answers);
        const QStringList states { "start-pending", "running", "stop-pending", "stopped" };
        QString reached = states.at(int(status.state())) + ' ' + QString::number(status.checkPoint());
        if (status.state() == ServiceStatus::State::Stopped) {
            reached += " exit " + QString::number(status.exitCode());
        }
        QFETCH(QString, state);
        QCOMPARE(reached, state);
        QCOMPARE(status.acceptsStop(), status.state() == ServiceStatus::State::Running);
    }
};

QTEST_GUILESS_MAIN(TestWindowsRules)
#include "tst_windowsrules.moc"
