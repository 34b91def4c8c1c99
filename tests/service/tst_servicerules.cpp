// The service's pure parts in-process, without root and without a running service: the command
// parser, the OpenVPN configuration and command check (on the client's own configuration), the
// kill switch filter, and the tools' words as the client, the service and the tools use them.
#include "../support/logcapture.h"
#include "../support/testkit.h"
#include "commandparser.h"
#include "killswitchfilter.h"
#include "killswitchrules.h"
#include "lockdownmode.h"
#include "openvpn/clientconfig.h"
#include "openvpnlaunch.h"
#include "programcatalog.h"
#include "protocol/toolwords.h"
#include "resolverconfig.h"
#include "servicelog.h"
#include "statefolder.h"
#include "userlines.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestServiceRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testlog::capture();
    }

    // Exactly the forms of docs/protocol.md; anything else is refused.
    void commands_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // kind: arguments, on, local; or the reason refused
        // clang-format off
        QTest::newRow("init") << "init: connection" << "1:,0,0";
        QTest::newRow("init, trailing blank") << "init: connection " << "unknown command";
        QTest::newRow("stop") << "stop: <openvpn>" << "3:,0,0";
        QTest::newRow("kill") << "start: <kill openvpn>" << "4:,0,0";
        QTest::newRow("query") << "query: tun" << "5:,0,0";
        QTest::newRow("query the log") << "query: log" << "7:,0,0";
        QTest::newRow("query the log of another") << "query: log 1000" << "unknown command";
        QTest::newRow("start") << "start: \"/p\" \"a b\" \"\"" << "2:/p|a b|,0,0";
        QTest::newRow("start, arguments not apart") << "start: \"/p\"\"a\"" << "arguments not separated by one blank";
        QTest::newRow("start, trailing blank") << "start: \"/p\" " << "arguments not separated by one blank";
        QTest::newRow("start, two blanks") << "start: \"/p\"  \"a\"" << "argument not in double quotes";
        QTest::newRow("start, unquoted") << "start: /p" << "argument not in double quotes";
        QTest::newRow("start, unbalanced") << "start: \"/p" << "unbalanced quotes";
        QTest::newRow("start, nothing") << "start: " << "no program";
        QTest::newRow("start, empty program") << "start: \"\" \"a\"" << "empty program path";
        QTest::newRow("start, NUL") << QString("start: \"/p\" \"a%1b\"").arg(QChar(0)) << "control character in command";
        QTest::newRow("start, Unicode blank") << "start: \"/p\" \"198.51.100.1\u00a0\"" << "non-ASCII character in argument 1";
        QTest::newRow("start, a file name in any script") << "start: \"/p\" \"--config\" \"/h/\u00e9.ovpn\"" << "2:/p|--config|/h/\u00e9.ovpn,0,0";
        QTest::newRow("start, too long") << "start: \"/p\" \"" + QString(Command::maxLength, 'x') + "\"" << "command too long";
        QTest::newRow("lockdown off") << "lockdown: off" << "6:,0,0";
        QTest::newRow("lockdown off and more") << "lockdown: off local" << "lockdown is \"on\" or \"off\"";
        QTest::newRow("lockdown on, twice the same") << "lockdown: on local 198.51.100.1 2001:db8::1 198.51.100.1" << "6:198.51.100.1|2001:db8::1,1,1";
        QTest::newRow("lockdown on, not canonical") << "lockdown: on 010.0.0.1" << "not an address in canonical form";
        QTest::newRow("capital") << "Init: connection" << "unknown command";
        // clang-format on
    }
    void commands()
    {
        QFETCH(QString, text);
        const Command command = Command::parse(text);
        QTEST(command.kind == Command::Invalid ? command.error
                                               : QStringLiteral("%1:%2,%3,%4")
                                                     .arg(command.kind)
                                                     .arg(command.arguments.join('|'))
                                                     .arg(command.on)
                                                     .arg(command.allowLocal),
            "parsed");
    }

    // What "query: log" answers from: each user's own lines, the newest within the bound, one line each
    // whatever they hold, and the user heard from least recently forgotten first.
    void userLinesBounded()
    {
        UserLines kept;
        for (int i = 0; i < 2000; ++i) {
            kept.add("1001", QString("line %1 ").arg(i) + QString(100, 'a'));
            kept.add(i < UserLines::maxUsers ? QString::number(2000 + i) : "1002", "other\nfaked");
        }
        const QStringList own = kept.lines("1001");
        QVERIFY(own.join("").size() <= UserLines::maxBytes && own.join("").size() > UserLines::maxBytes / 2);
        QVERIFY(own.last().contains("line 1999 ") && own.filter("other").isEmpty());
        QVERIFY(kept.lines("1002").last().endsWith("other\\x0afaked"));
        QVERIFY(kept.lines("2000").isEmpty() && !kept.lines(QString::number(1999 + UserLines::maxUsers)).isEmpty());
        kept.add("1003", QString(5000, 'b'));
        QVERIFY(kept.lines("1003").first().size() < UserLines::maxLineLength + 100);
    }

    // Only the exact path of one of the programs, a file that stays in its folder and that no other
    // user can change. %A: the program folder.
    void programs_data()
    {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("resolved"); // name, then what runs or the reason refused
        // clang-format off
        QTest::newRow("its path") << "%A/killswitch" << "" << "killswitch %A/killswitch";
        QTest::newRow("a folder that only starts like it") << "%A-old/killswitch" << "" << "killswitch not one of the programs";
        QTest::newRow("another case") << "%A/KillSwitch" << "" << " not one of the programs";
        QTest::newRow("a trailing character") << "%A/killswitchx" << "" << " not one of the programs";
        QTest::newRow("outside the folder") << "/bin/touch" << "" << " not one of the programs";
        QTest::newRow("dot-dot inside") << "%A/../app/killswitch" << "" << "killswitch not one of the programs";
        QTest::newRow("missing") << "%A/dns" << "missing" << "dns program missing";
        QTest::newRow("a symlink out") << "%A/dns" << "symlink" << "dns program leaves its folder";
        QTest::newRow("writable by others") << "%A/dns" << "world-writable" << "dns can be changed by other users";
        QTest::newRow("writable by a group") << "%A/dns" << "group-writable" << "dns can be changed by other users";
        // clang-format on
    }
    void programs()
    {
        QFETCH(QString, requested);
        QFETCH(QString, setup);
        QTemporaryDir folder;
        const QString app = QFileInfo(folder.path()).canonicalFilePath() + "/app", dns = app + "/dns";
        QVERIFY(QDir().mkpath(app) && QDir().mkpath(app + "-old"));
        for (const QString& file : { app + "/killswitch", dns, app + "-old/killswitch", folder.path() + "/dns" }) {
            QFile program(file);
            QVERIFY(program.open(QIODevice::WriteOnly) && program.setPermissions(QFileDevice::Permissions(0x7755)));
        }
        if (setup == "missing" || setup == "symlink") {
            QVERIFY(QFile::remove(dns) && (setup == "missing" || QFile::link(folder.path() + "/dns", dns)));
        } else if (setup == "world-writable") {
            QVERIFY(QFile::setPermissions(dns, QFile::permissions(dns) | QFileDevice::WriteOther));
        } else if (setup == "group-writable") {
            // A group other than the service's own: needs root, or membership in a second group.
            const gid_t other = ::getegid() == 0 ? 100 : ::getgid();
            if (other == ::getegid() || ::chown(QFile::encodeName(dns).constData(), uid_t(-1), other) != 0) {
                QSKIP("cannot give the program to another group here");
            }
            QVERIFY(QFile::setPermissions(dns, QFile::permissions(dns) | QFileDevice::WriteGroup));
        }
        const ProgramCatalog catalog(ProgramPaths::forSystem(ProgramPaths::currentSystem(), app, "/usr/sbin/openvpn"));
        const ProgramCatalog::Resolution resolution = catalog.resolve(requested.replace("%A", app));
        QFETCH(QString, resolved);
        resolved.replace("%A", app);
        QCOMPARE(resolution.name, resolved.section(' ', 0, 0));
        QCOMPARE(resolution.executable.isEmpty(), !resolution.error.isEmpty());
        QVERIFY2(resolution.error.isEmpty() ? resolution.executable == resolved.section(' ', 1)
                                            : resolution.error.contains(resolved.section(' ', 1)),
            qPrintable(resolution.error));
        QCOMPARE(resolution.missing, setup == "missing");
    }

    // Every shape of the tools' words: what the kill switch filter makes of a client's request, and
    // whether the tool takes what runs then. A side that spelled a word on its own fails here.
    void toolWords_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("tunnel"); // an OpenVPN runs
        QTest::addColumn<QStringList>("runs"); // empty: refused for a client
        const QString server = "198.51.100.1";
        // clang-format off
        QTest::newRow("lock") << ToolWords::enableLock(server, false) << false << ToolWords::enableLock(server, false);
        QTest::newRow("lock, local") << ToolWords::enableLock(server, true) << false << ToolWords::enableLock(server, true);
        QTest::newRow("guard") << ToolWords::enableTunnelGuard(server, true) << true << ToolWords::enableTunnelGuard(server, true);
        QTest::newRow("guard without a tunnel") << ToolWords::enableTunnelGuard(server, false) << false << QStringList();
        QTest::newRow("lift: the lock alone") << ToolWords::disableAll() << true << ToolWords::disableLock();
        QTest::newRow("lift the lock") << ToolWords::disableLock() << true << ToolWords::disableLock();
        QTest::newRow("lift the guard") << ToolWords::disableTunnelGuard() << true << QStringList();
        QTest::newRow("lockdown") << ToolWords::enableLockdown({ server }, true) << false << QStringList();
        QTest::newRow("lift lockdown") << ToolWords::disableLockdown() << false << QStringList();
        // clang-format on
    }
    void toolWords()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, tunnel);
        QString error;
        const QStringList runs = KillSwitchFilter::clientArguments(arguments, tunnel, &error);
        QTEST(runs, "runs");
        QCOMPARE(error.isEmpty(), !runs.isEmpty());
        // The tool takes each shape, the client's and the service's own alike.
        KillSwitchRules::Request request;
        QVERIFY2(KillSwitchRules::parse(arguments, &request).isEmpty(), qPrintable(arguments.join(' ')));
        QVERIFY(runs.isEmpty() || KillSwitchRules::parse(runs, &request).isEmpty());
    }

    // The shapes the tools parse into what the words say; dns takes its two.
    void toolShapes()
    {
        KillSwitchRules::Request request;
        QVERIFY(KillSwitchRules::parse(ToolWords::enableLockdown({ "2001:db8::1" }, true), &request).isEmpty());
        QVERIFY(request.action == request.Enable && request.scope == request.Lockdown && request.allowLocal);
        QVERIFY(KillSwitchRules::parse(ToolWords::disableAll(), &request).isEmpty());
        QCOMPARE(request.scope, KillSwitchRules::Request::Everything);
        QVERIFY(KillSwitchRules::parse(ToolWords::disableLock(), &request).isEmpty());
        QCOMPARE(request.scope, KillSwitchRules::Request::Lock);
        QVERIFY(KillSwitchRules::parse(ToolWords::enableTunnelGuard("2001:db8::1", false), &request).isEmpty());
        QVERIFY(request.scope == request.Tunnel && !request.allowLocal);
        LockdownMode::State state;
        state.on = true;
        state.servers = QStringList { "198.51.100.1" };
        QVERIFY(KillSwitchRules::parse(LockdownMode::toolArguments(state), &request).isEmpty());
        ResolverConfig::Request dns;
        QVERIFY(ResolverConfig::parse(ToolWords::dnsVpn({ "tun0@198.51.100.53," }), &dns, nullptr).isEmpty());
        QCOMPARE(dns.mode, ResolverConfig::Request::Vpn);
        QVERIFY(ResolverConfig::parse(ToolWords::dnsUser(), &dns, nullptr).isEmpty());
        QCOMPARE(dns.mode, ResolverConfig::Request::User);
    }

    // What a user causes in the log is bounded in bytes, long lines costing what they are long; the
    // service's own lines (no user) are bounded too; root's are not.
    void userLogCountsBytes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("bounded");
        QTest::newRow("a user's short lines") << "uid 1002" << 20 << true;
        QTest::newRow("a user's long lines") << "uid 1002" << 2000 << true;
        QTest::newRow("the service's own lines") << "" << 200 << true;
        QTest::newRow("root's lines") << "uid 0" << 2000 << false;
    }
    void userLogCountsBytes()
    {
        QFETCH(QString, key);
        QFETCH(int, length);
        QFETCH(bool, bounded);
        constexpr int burst = 16 * 1024;
        constexpr int rate = 1024;
        UserLog log("Test", burst, rate);
        testlog::clear();
        log.exempt("uid 0");
        QElapsedTimer elapsed;
        elapsed.start();
        const QString text = "line " + QString(length, 'x');
        for (int i = 0; i < 500; ++i) {
            log.info(key, text);
        }
        const int logged = testlog::count(text);
        const qint64 allowed = burst + rate * (elapsed.elapsed() + 1) / 1000;
        const qint64 bytes = qint64(logged) * (text.size() + UserLog::lineOverhead);
        QVERIFY2(bounded ? logged >= 1 && bytes <= allowed : logged == 500,
            qPrintable(QString("%1 lines, %2 bytes").arg(logged).arg(bytes)));
    }

    // The state folder: the service opens nothing in it through a link, and writes nothing while another
    // user could have placed one there (a member's command writes lockdown's mode and the tunnel's mark).
    void stateFolder_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("saved");
        QTest::newRow("lockdown a link to another file") << "link lockdown" << true;
        QTest::newRow("the tunnel's mark a link to another file") << "link tunnel" << true;
        QTest::newRow("the new file a link to another file") << "link lockdown.new" << true;
        QTest::newRow("folder writable by others") << "mode 0777" << false;
        QTest::newRow("folder writable by its group") << "mode 0770" << false;
        QTest::newRow("folder a link") << "folder-link" << false;
        QTest::newRow("a folder above it writable by others") << "above 0777" << false;
    }
    void stateFolder()
    {
        QFETCH(QString, setup);
        QFETCH(bool, saved);
        const QTemporaryDir root;
        const QString above = root.path() + "/above";
        QString folder = above + "/state";
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(above + "/real"));
        const QString victim = root.path() + "/victim";
        QFile precious(victim);
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("precious") == 8);
        precious.close();
        const QString how = setup.section(' ', 0, 0);
        const QByteArray argument = setup.section(' ', 1).toUtf8();
        if (how == "link") {
            QVERIFY(QFile::link(victim, folder + "/" + argument));
        } else if (how == "mode" || how == "above") {
            QCOMPARE(
                ::chmod(QFile::encodeName(how == "mode" ? folder : above).constData(), argument.toUInt(nullptr, 8)), 0);
        } else {
            folder = above + "/linked";
            QVERIFY(QFile::link(above + "/real", folder));
        }
        LockdownMode::State on;
        on.on = true;
        on.servers = QStringList { "198.51.100.1" };
        QString error;
        const bool done = LockdownMode(folder).save(on, &error) && StateFolder::write(folder + "/tunnel", {}, &error);
        QVERIFY2(done == saved, qPrintable(error));
        QCOMPARE(readFile(victim), QString("precious"));
        // What it reads back: its own file, or lockdown held on from a folder it cannot trust.
        QString problem;
        const LockdownMode::State loaded = LockdownMode(folder).load(&problem);
        QVERIFY2(problem.isEmpty() == saved, qPrintable(problem));
        QVERIFY(loaded.on && loaded.servers == (saved ? on.servers : QStringList()));
    }

    // The OpenVPN command and configuration as the service checks them: the client's own, UDP and
    // TCP, pass; each of its directives with an argument it never writes, each other directive, and
    // each other form of command or management password file is refused.
    void openVpnChecks_data()
    {
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QByteArray>("line"); // of the client's configuration ("" none)
        QTest::addColumn<QByteArray>("replacement"); // for it (%F the client's management password file)
        QTest::addColumn<QString>(
            "setup"); // arguments (%C configuration, %L log) or "secret:..." for the password file
        QTest::addColumn<QString>("refusal"); // in the reason; empty: accepted
        const auto row = [](const char* name, const QByteArray& line, const QByteArray& replacement,
                             const char* refusal, const QString& setup = QString(), bool udp = true) {
            QTest::newRow(name) << udp << line << replacement << setup << QString(refusal);
        };
        const auto argumentsWrong = [](const char* d) {
            return QStringLiteral("directive %1 with arguments").arg(d).toUtf8();
        };
        row("template, UDP", "", "", "");
        row("template, TCP", "", "", "", QString(), false);
        // clang-format off
        // Directives without arguments share one check; with a file, auth-user-pass would have root read it.
        row("auth-user-pass with a file", "auth-user-pass\r\n", "auth-user-pass /etc/shadow\r\n", argumentsWrong("auth-user-pass"));
        const QByteArray remote = "remote 198.51.100.1 88 udp\r\n";
        const QByteArray management = "management 127.0.0.1 61973 %F\r\n";
        row("dev tap", "dev tun\r\n", "dev tap\r\n", argumentsWrong("dev"));
        row("remote with a fourth argument", remote, "remote 198.51.100.1 88 udp x\r\n", argumentsWrong("remote"));
        row("remote port 0", remote, "remote 198.51.100.1 0 udp\r\n", argumentsWrong("remote"));
        row("remote over sctp", remote, "remote 198.51.100.1 88 sctp\r\n", argumentsWrong("remote"));
        row("remote option-like host", remote, "remote --up 88 udp\r\n", argumentsWrong("remote"));
        row("remote Unicode blank", remote, "remote 198.51.100.1\xc2\xa0 88 udp\r\n", "non-ASCII");
        row("auth path", "auth SHA256\r\n", "auth /etc/SHA256\r\n", argumentsWrong("auth"));
        row("cipher twice", "cipher AES-256-GCM\r\n", "cipher AES-256-GCM AES-128-GCM\r\n", argumentsWrong("cipher"));
        row("verb 12", "verb 3\r\n", "verb 12\r\n", argumentsWrong("verb"));
        row("tls-cipher quoted escape", "tls-cipher TLS-ECDHE-ECDSA-WITH-AES-256-GCM-SHA384\r\n", "tls-cipher \"A\\\"B\"\r\n", "unsupported");
        row("remote-cert-eku two", "remote-cert-eku \"TLS Web Server Authentication\"\r\n", "remote-cert-eku \"TLS\" x\r\n", argumentsWrong("remote-cert-eku"));
        row("compress two", "compress lz4-v2\r\n", "compress lz4-v2 x\r\n", argumentsWrong("compress"));
        row("replay-window 0", "replay-window 256\r\n", "replay-window 0\r\n", argumentsWrong("replay-window"));
        row("the user's MTU", "replay-window 256\r\n", "replay-window 256\r\ntun-mtu 1400\r\n", "");
        row("tun-mtu 575", "replay-window 256\r\n", "replay-window 256\r\ntun-mtu 575\r\n", argumentsWrong("tun-mtu"));
        row("ca of another provider", "-----END CERTIFICATE-----", "-----END CERTIFICATE-----\r\nAAAA", "inline <ca> is not the deployment's");
        row("remote on loopback", remote, "remote 127.0.0.1 6447 tcp-client\r\n", argumentsWrong("remote"));
        row("remote private", remote, "remote 10.0.0.1 88 udp\r\n", argumentsWrong("remote"));
        row("remote on loopback, not its first address", remote, "remote 127.0.0.2 88 udp\r\n", argumentsWrong("remote"));
        row("remote mapped loopback", remote, "remote ::ffff:127.0.0.1 88 udp\r\n", argumentsWrong("remote"));
        // Public, but this machine's own (on an interface of the test's network namespace).
        row("remote on an own address", remote, "remote 203.0.113.66 88 udp\r\n", "an address of this machine", "own-addresses");
        row("remote on an own IPv6 address", remote, "remote 2001:db8:66::66 88 udp\r\n", "an address of this machine", "own-addresses");
        row("remote on an own address, mapped", remote, "remote ::ffff:203.0.113.66 88 udp\r\n", "an address of this machine", "own-addresses");
        row("tls-crypt with a directive", "</tls-crypt>\r\n", "plugin /tmp/evil.so\r\n</tls-crypt>\r\n", "unexpected text in inline <tls-crypt>");
        row("ca twice", "</ca>\r\n", "</ca>\r\n<ca>\r\n", "inline block <ca> given twice");
        row("ca not closed", "</ca>\r\n", "\r\n", "inline <ca> is not closed");
        // The management interface: where the template has it, with a password file, once.
        row("management on all addresses", management, "management 0.0.0.0 61973 %F\r\n", argumentsWrong("management"));
        row("management on a privileged port", management, "management 127.0.0.1 22 %F\r\n", argumentsWrong("management"));
        row("management without password", management, "management 127.0.0.1 61973\r\n", argumentsWrong("management"));
        row("management twice", management, "management 127.0.0.1 61973 %F\r\nmanagement 127.0.0.1 61973 %F\r\n", "management given twice");
        row("no management", management, "", "no management directive");
        row("management password file missing", management, "management 127.0.0.1 61973 /nonexistent/pw\r\n", "management password file /nonexistent/pw cannot be opened");
        row("secret readable by others", "", "", "open to other users", "secret-mode");
        row("secret readable by the group", "", "", "open to other users", "secret-group");
        row("secret of another user", "", "", "not by the client's user", "secret-owner");
        row("secret a symbolic link", "", "", "symbolic link", "secret-symlink");
        // Refused without being opened: a FIFO would keep the reading waiting for a writer.
        row("configuration a FIFO", "", "", "not a regular file", "config-fifo");
        row("secret too short", "", "", "not 32 to 128 characters", "secret:" + QString(31, 'a'));
        row("secret two lines", "", "", "not one line", "secret:" + QString(40, 'a') + "\n" + QString(40, 'b'));
        // Directives the template never writes: each could make the root-run OpenVPN run or write something.
        // One lookup refuses them all; a name differs from an allowed one only in case.
        for (const char* line : { "plugin /tmp/evil.so", "<key>", "Client" }) {
            QTest::newRow(line) << true << QByteArray("nobind\r\n") << "nobind\r\n" + QByteArray(line) + "\r\n" << QString() << QString(line[0] == '<' ? "inline block" : "directive " + QByteArray(line).split(' ').at(0) + " is not allowed");
        }
        // The command around the configuration.
        row("arguments: extra option", "", "", "arguments are not", "--config %C --management-query-passwords --log-append %L --up /bin/sh");
        row("arguments: swapped", "", "", "arguments are not", "--log-append %L --management-query-passwords --config %C");
        row("arguments: relative configuration", "", "", "is not an absolute path", "--config client.ovpn --management-query-passwords --log-append %L");
        // clang-format on
    }
    void openVpnChecks()
    {
        QFETCH(bool, udp);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, replacement);
        QFETCH(QString, setup);
        QFETCH(QString, refusal);
        ClientConfig writer;
        QString failure;
        QFile config(writer.write("198.51.100.1", udp, 0, &failure));
        QVERIFY(config.open(QIODevice::ReadWrite));
        QByteArray text = config.readAll();
        const QByteArray secretPath = text.split('\n').at(2).trimmed().split(' ').value(3);
        if (!line.isEmpty()) {
            line.replace("%F", secretPath);
            QVERIFY2(text.contains(line), line.constData());
            text.replace(line, replacement.replace("%F", secretPath));
            QVERIFY(config.seek(0) && config.resize(0) && config.write(text) == text.size() && config.flush());
        }
        QFile secret(QString::fromUtf8(secretPath));
        const QFileDevice::Permissions mine = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (setup == "secret-mode" || setup == "secret-group") {
            QVERIFY(secret.setPermissions(
                mine | (setup == "secret-mode" ? QFileDevice::ReadOther : QFileDevice::ReadGroup)));
        } else if (setup == "secret-owner") {
            if (::chown(secretPath.constData(), 65534, 65534) != 0) {
                QSKIP("cannot give a file to another user here");
            }
        } else if (setup == "config-fifo") {
            QVERIFY(QFile::remove(config.fileName())
                && ::mkfifo(QFile::encodeName(config.fileName()).constData(), 0600) == 0);
        } else if (setup == "secret-symlink") {
            QVERIFY(QFile::rename(secret.fileName(), secret.fileName() + ".real")
                && QFile::link(secret.fileName() + ".real", secret.fileName()));
        } else if (setup == "own-addresses") {
            // Only in a network namespace of the test's own (loopback alone): the machine's interfaces stay
            // as they are.
            if (::geteuid() != 0 || QNetworkInterface::allInterfaces().size() != 1) {
                QSKIP("needs root in a network namespace of its own");
            }
            QCOMPARE(QProcess::execute("ip", { "address", "replace", "203.0.113.66/32", "dev", "lo" }), 0);
            QCOMPARE(QProcess::execute("ip", { "address", "replace", "2001:db8:66::66/128", "dev", "lo", "nodad" }), 0);
            setup.clear();
        } else if (setup.startsWith("secret:")) {
            QVERIFY(secret.open(QIODevice::WriteOnly | QIODevice::Truncate) && secret.write(setup.mid(7).toUtf8()) > 0);
            secret.close();
        }
        QFile log(dir.filePath("table.log"));
        QVERIFY(log.open(QIODevice::Append));
        const QString arguments
            = setup.startsWith("--") ? setup : "--config %C --management-query-passwords --log-append %L";
        QString error;
        const std::unique_ptr<OpenVpnLaunch> launch = OpenVpnLaunch::prepare(
            QString(arguments).replace("%C", config.fileName()).replace("%L", log.fileName()).split(' '), ::geteuid(),
            &error);
        QFile::remove(secret.fileName() + ".real");
        if (!refusal.isEmpty()) {
            QVERIFY2(!launch && error.contains(refusal), qPrintable(error));
            return;
        }
        QVERIFY2(launch, qPrintable(error));
        // OpenVPN reads copies in the service's private folder: the configuration, in the form that was
        // checked, and the secret, which the copy's management directive names.
        const QStringList openVpnArguments = launch->arguments();
        QFile copy(openVpnArguments.value(openVpnArguments.indexOf("--config") + 1));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray copied = copy.readAll();
        QVERIFY(!copied.contains(secretPath)
            && copied.contains(udp ? "replay-window 256\n" : "remote 198.51.100.1 8080 tcp\n"));
        const QStringList management
            = QString::fromLatin1(copied).split('\n').filter(QRegularExpression("^management "));
        QCOMPARE(management.size(), 1);
        QFile secretCopy(management.at(0).section(' ', 3));
        QCOMPARE(QFileInfo(secretCopy.fileName()).path(), QFileInfo(copy.fileName()).path());
        QVERIFY(secret.open(QIODevice::ReadOnly) && secretCopy.open(QIODevice::ReadOnly));
        QCOMPARE(secretCopy.readAll(), secret.readAll());
        QCOMPARE(secretCopy.permissions() & 0x0fff, QFileDevice::ReadUser | QFileDevice::WriteUser);
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestServiceRules)
#include "tst_servicerules.moc"
