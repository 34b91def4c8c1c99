// The client's service link and vpn-service: framing against an in-process WebSocket server, then a
// real vpn-service process run from a throw-away application folder, with the stand-in program in
// place of OpenVPN and the two tools. Both listen on 127.0.0.1:6447.
#include "../support/fakeservice.h"
#include "../support/logcapture.h"
#include "../support/servicekit.h"
#include "openvpn/openvpnclient.h"
#include "openvpnlaunch.h"
#include "service/openvpnprocess.h"
#include "service/servicecontroller.h"
#include "service/servicemessage.h"

#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first argument of every recorded signal, as text.
QStringList texts(const QSignalSpy& spy)
{
    QStringList result;
    for (const QList<QVariant>& arguments : spy) {
        result.append(arguments.at(0).toString());
    }
    return result;
}

using servicekit::portAnswers;

} // namespace

class TestService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testlog::capture();
        const QString standin = QCoreApplication::applicationFilePath(); // in its stand-in role there
        QVERIFY(servicekit::appFolder(app, { "killswitch", "dns" }));
        // Programs of the right names in a folder beside the application folder, and a link to it inside.
        QVERIFY(QDir().mkpath(outside) && QFile::copy(path("dns"), outside + "/dns"));
        QVERIFY(QFile::copy(standin, outside + "/openvpn"));
        openVpnPlaced = servicekit::placeOpenVpn(outside + "/openvpn");
        QVERIFY(QFile::link(outside, app + "/elsewhere"));
    }
    void cleanupTestCase()
    {
        stopService();
        const QString report = servicekit::sanitizerReport(dir.path());
        QVERIFY2(report.isEmpty(), qPrintable(report));
    }
    void init()
    {
        testlog::clear();
        received.clear();
        peer = nullptr;
        QFile::remove(dir.filePath("records.txt"));
    }
    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            // Past the capturing handler, straight to the test output.
            fprintf(stderr, "%s\nService log:\n%s\n", qPrintable(testlog::lines().join('\n')),
                qPrintable(read("service.log").right(qEnvironmentVariableIsSet("TST_FULL_LOG") ? 400000 : 4000)));
        }
        delete server;
        server = nullptr;
        // Undo what a test did to the folder.
        QFile::remove(path("dns"));
        QFile::copy(path("killswitch"), path("dns"));
    }

    void statusLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parsed"); // kind, PID, code, name
        // clang-format off
        QTest::newRow("not a number") << "finished:77,x,openvpn" << "2,77,0,openvpn";
        QTest::newRow("blanks around") << "finished: 77, 5 ,dns" << "2,77,5,dns";
        QTest::newRow("large unsigned") << "finished:1,4294967295,dns" << "2,1,4294967295,dns";
        QTest::newRow("negative PID") << "finished:-4,1,dns" << "2,0,1,dns";
        QTest::newRow("single field") << "finished:openvpn" << "2,0,0,openvpn";
        QTest::newRow("every prefix removed") << "started:1,0,started:openvpn" << "1,1,0,openvpn";
        QTest::newRow("capital") << "Finished:1,0,openvpn" << "0,0,0,";
        QTest::newRow("not at start") << " started:1,0,openvpn" << "0,0,0,";
        // clang-format on
    }
    void statusLine()
    {
        QFETCH(QString, line);
        const ServiceMessage m = ServiceMessage::parse(line);
        QTEST(QStringLiteral("%1,%2,%3,%4").arg(m.kind).arg(m.pid).arg(m.code).arg(m.processName), "parsed");
    }

    // Where the client finds the programs on Windows; Linux's, and OpenVPN's command there, every run proves.
    void windowsProgramPaths()
    {
        const auto windows = ProgramPaths::System::Windows;
        const ProgramPaths::Paths paths = ProgramPaths::forSystem(windows, "C:\\Program Files\\x\\..\\VPN\\", "/o");
        QCOMPARE(QStringList({ paths.openVpn, paths.killSwitch, paths.dns, paths.folder }),
            QStringList({ "C:/Program Files/VPN/openvpn/bin/openvpn.exe", "C:/Program Files/VPN/killswitch.exe",
                "C:/Program Files/VPN/dns.exe", "C:/Program Files/VPN" }));
        QCOMPARE(ProgramPaths::openVpnArguments(windows, { "ARGS" }), QStringList { "ARGS" });
        QCOMPARE(ProgramPaths::forSystem(ProgramPaths::System::Linux, "/a", "/usr/sbin//openvpn").openVpn,
            QString("/usr/sbin/openvpn"));
    }

    // Status lines reach the run they concern, by PID: "start" gives a start, "drop" loses the link.
    void runMatching_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("reaction"); // signal, value and state at the signal; the state at the end
        // clang-format off
        QTest::newRow("started") << "openvpn" << "start|started:123,0,openvpn" << "started 0 2|2";
        QTest::newRow("refused") << "openvpn" << "start|started:0,2,openvpn" << "error 2 0|0";
        QTest::newRow("ended") << "openvpn" << "start|started:77,0,openvpn|finished:77,1,openvpn" << "started 0 2|finished 1 2|0";
        QTest::newRow("another PID ends") << "openvpn" << "start|started:77,0,openvpn|finished:78,1,openvpn|finished:0,1,openvpn" << "started 0 2|2";
        QTest::newRow("an end before the start is answered") << "openvpn" << "start|finished:77,1,openvpn" << "1";
        QTest::newRow("no start of ours") << "openvpn" << "started:9,0,openvpn|finished:9,0,openvpn" << "0";
        QTest::newRow("another name") << "openvpn" << "start|started:1,0,dns|started:1,0,OpenVPN" << "1";
        // The service ends the running OpenVPN before it starts the next one.
        QTest::newRow("replaced run") << "openvpn" << "start|started:5,0,openvpn|start|finished:5,3,openvpn|started:6,0,openvpn" << "started 0 2|replaced 3 1|started 0 2|2";
        QTest::newRow("replaced before reported") << "openvpn" << "start|start|started:5,0,openvpn|finished:5,0,openvpn|started:6,0,openvpn|finished:6,4,openvpn" << "replaced 0 1|started 0 2|finished 4 2|0";
        QTest::newRow("link lost") << "openvpn" << "start|started:5,0,openvpn|drop|finished:5,1,openvpn" << "started 0 2|lost 0 0|0";
        QTest::newRow("link lost, nothing going") << "openvpn" << "drop" << "0";
        // Tool runs overlap; each is reported.
        QTest::newRow("tool runs") << "dns" << "start|start|started:5,0,dns|started:6,2,dns|finished:5,1,dns" << "started 0 2|error 2 2|finished 1 2|0";
        // clang-format on
    }
    void runMatching()
    {
        QFETCH(QString, name);
        QFETCH(QString, steps);
        ServiceController controller;
        OpenVpnProcess openVpn(&controller);
        ServiceProcess tool(name, &controller);
        ServiceProcess& process = name == "openvpn" ? static_cast<ServiceProcess&>(openVpn) : tool;
        QStringList got;
        const auto note = [&](const char* signal) {
            return [&got, &process, signal](int value = 0) {
                got << QStringLiteral("%1 %2 %3").arg(signal).arg(value).arg(process.state());
            };
        };
        connect(&process, &ServiceProcess::started, this, note("started"));
        connect(&process, &ServiceProcess::error, this, note("error"));
        connect(&process, &ServiceProcess::finished, this, note("finished"));
        connect(&process, &ServiceProcess::replacedRunFinished, this, note("replaced"));
        connect(&process, &ServiceProcess::lost, this, note("lost"));
        for (const QString& step : steps.split('|')) {
            if (step == "start") {
                process.start(QString("start: \"x\""));
            } else if (step == "drop") {
                emit controller.disconnected();
            } else {
                emit controller.processOutput(step);
            }
        }
        QTEST((got << QString::number(process.state())).join('|'), "reaction");
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("command");
        // clang-format off
        QTest::newRow("empty") << QStringList() << "start: ";
        QTest::newRow("blank inside") << QStringList { "C:\\a\\dns.exe", "two words" } << "start: \"C:\\a\\dns.exe\" \"two words\"";
        QTest::newRow("unescaped") << QStringList { "/p", "a\"b", "c\\d" } << "start: \"/p\" \"a\"b\" \"c\\d\"";
        // clang-format on
    }
    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, command);
        QVERIFY(fake());
        ServiceController controller;
        OpenVpnProcess process(&controller);
        QTRY_VERIFY(peer != nullptr);
        process.start(arguments);
        process.stop("whatever");
        process.killOpenVpn();
        QCOMPARE(process.state(), int(Starting)); // neither stop nor kill changes the state
        controller.sendCommand(QString()); // not sent
        QTRY_COMPARE(
            received, QStringList({ "init: connection", command, "stop: <openvpn>", "start: <kill openvpn>" }));
        // Once linked (before, the socket drops it), the shutdown init goes out at once, a second time.
        controller.sendInitCommand();
        QTRY_COMPARE(received.size(), 5);
        QCOMPARE(received.last(), QString("init: connection"));
    }

    void incomingMessageLosesLastCharacter()
    {
        QVERIFY(fake());
        ServiceController controller;
        QSignalSpy output(&controller, &ServiceController::processOutput);
        QSignalSpy disconnected(&controller, &ServiceController::disconnected);
        QTRY_VERIFY(peer != nullptr);
        for (const char* message : { "started:\n", "finished:1,0,dnsX", "\n", "a  b\tc\n", "end\n" }) {
            peer->sendTextMessage(message);
            peer->sendBinaryMessage("finished:1,0,dns\n"); // only text messages are read
        }
        QTRY_COMPARE(texts(output), QStringList({ "started:", "finished:1,0,dns", "a  b\tc", "end" }));
        // A drop is reported once; while down, a second drop notification changes nothing.
        peer->close();
        QTRY_COMPARE(disconnected.count(), 1);
        QMetaObject::invokeMethod(controller.findChild<QWebSocket*>(), "disconnected");
        QCOMPARE(disconnected.count(), 1);
    }

    // The service is absent at first, then killed and restarted again and again while the client keeps
    // giving commands: every command reaches it once and in order, "init: connection" goes out once.
    void absentThenRestartedWhileCommandsFlow()
    {
        constexpr int rounds = 6;
        QTRY_VERIFY_WITH_TIMEOUT(!portAnswers(), 60000);
        ServiceController controller;
        QSignalSpy initial(&controller, &ServiceController::initialConnectionStatusChanged);
        QSignalSpy connected(&controller, &ServiceController::connected);
        QSignalSpy disconnected(&controller, &ServiceController::disconnected);
        QSignalSpy output(&controller, &ServiceController::processOutput);
        QStringList runsAtInit; // what had run when the service answered "init: connection"
        connect(&controller, &ServiceController::initialized, this, [&] {
            runsAtInit = records();
        });
        ServiceProcess killSwitch("killswitch", &controller);
        QSignalSpy started(&killSwitch, &ServiceProcess::started);
        QSignalSpy finished(&killSwitch, &ServiceProcess::finished);
        int sent = 0;
        // The service's own run for "init: connection" (the resolvers and the tunnel's guard aside).
        QStringList expected { "killswitch disable lock" };
        const auto give = [&](int count) {
            for (int i = 0; i < count; ++i) {
                killSwitch.start(QStringList { path("killswitch"), "seq", QString::number(++sent) });
                expected.append(QStringLiteral("killswitch seq %1").arg(sent));
            }
        };
        give(2);
        // Nobody listens for a while, past the link's retries: one initial status report.
        QTest::qWait(7000);
        QCOMPARE(initial.count(), 1);
        for (int round = 0; round < rounds; ++round) {
            QVERIFY(startService());
            QTRY_COMPARE_WITH_TIMEOUT(connected.count(), round + 1, 8000);
            give(5);
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), sent, 10000);
            stopService(true);
            QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), round + 1, 5000);
            give(5); // queued while the service is down
        }
        QVERIFY(startService());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), sent, 10000);
        QTest::qWait(300);
        QStringList runs = records();
        QCOMPARE(runs.removeAll("dns user"), 1); // "init: connection" restores the resolvers, beside the rest
        QCOMPARE(runs.removeAll("killswitch disable tunnel"), 1); // the tunnel's guard, for the init
        QCOMPARE(runs, expected);
        QCOMPARE(started.count(), sent);
        // The init run is the service's own business, not reported.
        QCOMPARE(texts(output).filter(QRegularExpression("^(started|finished):\\d+,0,killswitch$")).size(), 2 * sent);
        QCOMPARE(output.count(), 2 * sent + 2); // and the answers to "init: connection"
        runsAtInit = runsAtInit.mid(0, 3);
        runsAtInit.sort(); // the two tools run side by side
        QCOMPARE(runsAtInit, QStringList({ "dns user", "killswitch disable lock", "killswitch disable tunnel" }));
        QCOMPARE(initial.count(), 1);
    }

    // A program that runs reports its real exit code; one that cannot start reports a non-zero error.
    void programsReportWhatHappened_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("exit code") << "";
        QTest::newRow("not executable") << "not executable";
        QTest::newRow("missing") << "missing";
    }
    void programsReportWhatHappened()
    {
        QFETCH(QString, setup);
        QVERIFY(setup != "missing" || QFile::remove(path("dns")));
        QVERIFY(setup != "not executable" || QFile::setPermissions(path("dns"), QFileDevice::ReadOwner));
        QVERIFY(startService());
        ServiceController controller;
        ServiceProcess dns("dns", &controller);
        QSignalSpy started(&dns, &ServiceProcess::started);
        QSignalSpy finished(&dns, &ServiceProcess::finished);
        QSignalSpy error(&dns, &ServiceProcess::error);
        // Arguments reach the program verbatim, never through a shell.
        const QString marker = app + "/marker";
        dns.start(QStringList { path("dns"), "exit", "7", "two words", "$(touch " + marker + ")", "; touch", "" });
        QTRY_COMPARE_WITH_TIMEOUT(finished.count() + error.count(), 1, 8000);
        QCOMPARE(started.count(), int(setup.isEmpty()));
        QVERIFY(setup.isEmpty() ? finished.at(0).at(0).toInt() == 7 : error.at(0).at(0).toInt() != 0);
        QCOMPARE(dns.state(), int(NotRunning));
        const QStringList runs = records().filter(QRegularExpression("^dns "));
        QVERIFY(
            setup.isEmpty() ? runs.contains("dns exit 7 two words $(touch " + marker + ") ; touch ") : runs.isEmpty());
        QVERIFY(!QFile::exists(marker));
    }

    void openVpnStopAndLeftOvers()
    {
        if (!openVpnPlaced) {
            QSKIP("needs root to put the OpenVPN stand-in in place");
        }
        QVERIFY(startService());
        // Once the run shows in the records, the stand-in handles SIGTERM.
        const auto startWaiting = [this](OpenVpnProcess& openVpn, int count) {
            openVpn.start(openVpnCommand());
            return QTest::qWaitFor(
                [&] {
                    return records().filter(QRegularExpression("^openvpn .*--config ")).size() == count;
                },
                8000);
        };
        const auto terminated = [this] {
            return records().count("openvpn SIGTERM");
        };
        {
            ServiceController controller;
            QSignalSpy output(&controller, &ServiceController::processOutput);
            OpenVpnProcess openVpn(&controller);
            QSignalSpy finished(&openVpn, &ServiceProcess::finished);
            QVERIFY(startWaiting(openVpn, 1));
            QTRY_COMPARE(openVpn.state(), int(Running));
            // The system's OpenVPN reads a private copy of the configuration, takes the Windows-only directives
            // for ignorable and runs no scripts; its output goes to the client's log.
            const QRegularExpressionMatch run
                = QRegularExpression("^openvpn --ignore-unknown-option register-dns dhcp-renew block-outside-dns "
                                     "--config (\\S+) --management-query-passwords --script-security 1$")
                      .match(records().filter(QRegularExpression("^openvpn ")).value(0));
            QVERIFY2(run.hasMatch(), qPrintable(records().join('\n')));
            const QString copy = run.captured(1);
            QVERIFY2(copy.startsWith(QDir::tempPath() + "/vpn-service-") && copy.endsWith(".ovpn"), qPrintable(copy));
            QTRY_VERIFY(read("openvpn.log").contains("standin output"));
            openVpn.stop("anything");
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 8000);
            QCOMPARE(finished.at(0).at(0).toInt(), 0); // a graceful end
            QCOMPARE(terminated(), 1);
            // Never two at once: the first one's end is reported before the second one's start.
            QVERIFY(startWaiting(openVpn, 2) && startWaiting(openVpn, 3));
            QTRY_COMPARE(texts(output).filter(",openvpn").size(), 5);
            const QString order = texts(output).filter(",openvpn").mid(2).join(' ');
            QVERIFY2(QRegularExpression("^started:\\S+ finished:\\S+,0,openvpn started:\\S+$").match(order).hasMatch(),
                qPrintable(order));
            QCOMPARE(terminated(), 2);
        } // this client goes away, its OpenVPN keeps running
        // The next client's "init: connection" ends it; its own OpenVPN does not take that end for its own.
        ServiceController fresh;
        QSignalSpy output(&fresh, &ServiceController::processOutput);
        OpenVpnProcess openVpn(&fresh);
        QTRY_COMPARE_WITH_TIMEOUT(terminated(), 3, 8000);
        QTRY_COMPARE(records().count("killswitch disable lock"), 2);
        QTest::qWait(300);
        // The answers, no news of the old run.
        QCOMPARE(texts(output), QStringList({ "finished:0,0,init", "lockdown:off" }));
        // A crashed service leaves no OpenVPN behind that no one could stop.
        QVERIFY(startWaiting(openVpn, 4));
        stopService(true);
        QTRY_COMPARE_WITH_TIMEOUT(terminated(), 4, 5000);
    }

    // Each row gets past the checks the others meet. What the peer gets: a failed start under the
    // program's name (never text it sent), nothing, or its connection closed.
    void hostileCommandRunsNothing_data()
    {
        QTest::addColumn<QByteArray>("payload"); // %K killswitch, %A application folder, %M marker, %0 NUL
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("answer");
        const QByteArray vpn
            = "start: \"%V\" \"--config\" \"%C\" \"--management-query-passwords\" \"--log-append\" \"%L\"";
        const QByteArray dns = "start: \"%A/dns\"";
        const QString refusedVpn = "started:0,1,openvpn\n";
        // clang-format off
        QTest::newRow("empty start") << QByteArray("start: ") << "" << "";
        QTest::newRow("lockdown: an address not canonical") << QByteArray("lockdown: on local 010.0.0.1") << "" << "";
        QTest::newRow("NUL in argument") << QByteArray("start: \"%K\" \"a%0b\"") << "" << "";
        QTest::newRow("enormous") << "start: \"%K\" \"" + QByteArray(300000, 'x') + '"' << "" << "closed";
        QTest::newRow("long, under the frame limit") << "start: \"%K\" \"" + QByteArray(40000, 'x') + '"' << "" << "";
        QTest::newRow("binary frame") << QByteArray("start: \"%K\" \"binary\"") << "binary" << "";
        QTest::newRow("Unicode blank after an address") << QByteArray("start: \"%K\" \"enable\" \"all\" \"198.51.100.1\xc2\xa0\"") << "" << "";
        QTest::newRow("path: a folder that only starts like it") << QByteArray("start: \"%A-old/killswitch\"") << "" << "started:0,1,killswitch\n";
        QTest::newRow("path: another case") << QByteArray("start: \"%A/KillSwitch\"") << "" << "";
        QTest::newRow("path: a trailing character") << QByteArray("start: \"%Kx\"") << "" << "";
        QTest::newRow("path: outside the folder") << QByteArray("start: \"/bin/touch\" \"%M\"") << "" << "";
        QTest::newRow("path: dot-dot inside") << QByteArray("start: \"%A/../app/killswitch\"") << "" << "started:0,1,killswitch\n";
        QTest::newRow("program is a symlink out") << dns << "symlink" << "started:0,1,dns\n";
        // The checks themselves are openVpnChecks' table; this row shows the service applies them.
        QTest::newRow("log: a symlink") << vpn << "log-symlink" << refusedVpn;
        QTest::newRow("program writable by others") << dns << "world-writable" << "started:0,1,dns\n";
        QTest::newRow("program writable by a group") << dns << "group-writable" << "started:0,1,dns\n";
        // clang-format on
    }
    void hostileCommandRunsNothing()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, setup);
        QFETCH(QString, answer);
        QVERIFY(running() || startService());
        payload.replace("%K", path("killswitch").toUtf8()).replace("%A", app.toUtf8());
        payload.replace("%M", (app + "/marker").toUtf8()).replace("%0", QByteArray(1, '\0'));
        const QStringList command = openVpnCommand();
        payload.replace("%V", command[0].toUtf8())
            .replace("%C", command[2].toUtf8())
            .replace("%L", command[5].toUtf8());
        if (setup == "log-symlink") {
            QVERIFY(QFile::rename(command[5], command[5] + ".real") && QFile::link(command[5] + ".real", command[5]));
        } else if (setup == "symlink") {
            QVERIFY(QFile::remove(path("dns")) && QFile::link(outside + "/dns", path("dns")));
        } else if (setup == "world-writable") {
            QVERIFY(QFile::setPermissions(path("dns"), QFile::permissions(path("dns")) | QFileDevice::WriteOther));
        } else if (setup == "group-writable") {
            // A group other than the service's own: needs root, or membership in a second group.
            const gid_t other = ::getegid() == 0 ? 100 : ::getgid();
            if (other == ::getegid() || ::chown(QFile::encodeName(path("dns")).constData(), uid_t(-1), other) != 0) {
                QSKIP("cannot give the program to another group here");
            }
            QVERIFY(QFile::setPermissions(path("dns"), QFile::permissions(path("dns")) | QFileDevice::WriteGroup));
        }
        QWebSocket socket;
        QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
        connect(&socket, &QWebSocket::connected, this, [&] {
            // With its length: a NUL byte must reach the service, not end the text.
            setup == "binary" ? socket.sendBinaryMessage(payload)
                              : socket.sendTextMessage(QString::fromUtf8(payload.constData(), payload.size()));
        });
        socket.open(QUrl("ws://127.0.0.1:6447"));
        if (answer == "closed") {
            QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        } else {
            // Out before the probe goes: the service handles it first.
            QTRY_VERIFY(socket.state() == QAbstractSocket::ConnectedState && socket.bytesToWrite() == 0);
            QTRY_COMPARE(texts(messages).join(""), answer); // after the reading of a user file
            socket.close(); // so that the probe's reports do not reach it
        }
        QVERIFY(probeStillServes());
        QCOMPARE(records(), QStringList { "killswitch probe" });
        QVERIFY(!QFile::exists(app + "/marker") && running());
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
        row("remote mapped loopback", remote, "remote ::ffff:127.0.0.1 88 udp\r\n", argumentsWrong("remote"));
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
        FakeService link; // the configuration alone is written and checked here
        OpenVpnClient client(&link);
        client.setServer("198.51.100.1", udp);
        QFile config(client.createConfigFile());
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
        } else if (setup == "secret-symlink") {
            QVERIFY(QFile::rename(secret.fileName(), secret.fileName() + ".real")
                && QFile::link(secret.fileName() + ".real", secret.fileName()));
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

    // Started by systemd's socket unit, which holds the port, the service serves on the socket it
    // is handed (it could not bind the port itself).
    void socketActivation()
    {
        const QString activate = QStandardPaths::findExecutable("systemd-socket-activate");
        if (activate.isEmpty()) {
            QSKIP("needs systemd-socket-activate (Debian's systemd)");
        }
        QVERIFY(startService({}, { activate, "--listen=127.0.0.1:6447" }));
        QVERIFY(probeStillServes());
        stopService();
    }

    void handshakeWithOriginIsRefused()
    {
        QVERIFY(running() || startService());
        QWebSocket page("http://example.com");
        QSignalSpy connected(&page, &QWebSocket::connected);
        QSignalSpy failed(&page, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
        page.open(QUrl("ws://127.0.0.1:6447"));
        QTRY_VERIFY(!failed.isEmpty() && page.state() == QAbstractSocket::UnconnectedState);
        QCOMPARE(connected.count(), 0);
        QVERIFY(probeStillServes()); // the same process without an Origin is welcome
    }

    void listensOnLoopbackOnly()
    {
        QVERIFY(running() || startService());
        QList<QHostAddress> addresses { QHostAddress("127.0.0.2"), QHostAddress::LocalHostIPv6,
            QHostAddress::LocalHost };
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            addresses << (address.scopeId().isEmpty() ? address : QHostAddress::LocalHostIPv6);
        }
        for (const QHostAddress& address : addresses) {
            QTcpSocket socket;
            socket.connectToHost(address, 6447);
            QVERIFY2(
                socket.waitForConnected(2000) == (address == QHostAddress::LocalHost), qPrintable(address.toString()));
        }
    }

    // Root-only, bounded: at the size cap the file moves to FILE.1 (the older ones up) and a fresh
    // one starts; text a client chose cannot end a line or pass for a line of the service.
    void logIsPrivateRotatesAndCannotBeForged()
    {
        stopService();
        QFile::remove(dir.filePath("service.log"));
        QVERIFY(startService({ "--log-max-size", "8000" }));
        QWebSocket socket;
        QSignalSpy reports(&socket, &QWebSocket::textMessageReceived);
        bool sent = false;
        connect(&socket, &QWebSocket::connected, this, [&] {
            for (int i = 0; i < 30; ++i) {
                socket.sendTextMessage("start: \"" + path("killswitch") + "\" \"" + QString(900, 'x') + "\"");
            }
            socket.sendTextMessage("start: \"" + path("killswitch") + "\" \"a\u2028FORGED\\x0a\"");
            socket.sendTextMessage("start: \"" + path("killswitch") + "\" \"b\nFORGED\"");
            sent = true;
        });
        socket.open(QUrl("ws://127.0.0.1:6447"));
        QTRY_VERIFY(sent && socket.bytesToWrite() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(texts(reports).filter("finished:").size(), 30, 20000);
        QVERIFY(probeStillServes());
        for (const char* name : { "service.log", "service.log.1", "service.log.2" }) {
            const QFileInfo file(dir.filePath(name));
            QVERIFY2(file.exists() && file.size() < 8000 + 4000, name);
            struct stat info = {};
            QVERIFY(::stat(QFile::encodeName(file.filePath()).constData(), &info) == 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0600));
        }
        const QStringList lines = read("service.log").split('\n', Qt::SkipEmptyParts);
        const QRegularExpression serviceLine(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\t[A-Z]+\t[A-Za-z]+: ");
        for (const QString& line : lines) {
            QVERIFY2(serviceLine.match(line).hasMatch() && !line.contains(QChar(0x2028)), qPrintable(line));
        }
        QVERIFY(read("service.log").contains("a\\u2028FORGED\\\\x0a"));
        QVERIFY(read("service.log").contains("b\\x0aFORGED"));
    }

private:
    // A stand-in service that records what the client sends.
    bool fake()
    {
        stopService();
        server = new QWebSocketServer("fake vpn-service", QWebSocketServer::NonSecureMode, this);
        connect(server, &QWebSocketServer::newConnection, this, [this] {
            peer = server->nextPendingConnection();
            connect(peer, &QWebSocket::textMessageReceived, this, [this](const QString& m) {
                received << m;
            });
        });
        return QTest::qWaitFor(
            [this] {
                return server->listen(QHostAddress::LocalHost, 6447);
            },
            60000);
    }

    // The command the client sends for OpenVPN, with a configuration and a log file of this user.
    QStringList openVpnCommand() const
    {
        for (const QString& file : { dir.path() + "/client.ovpn", dir.path() + "/openvpn.log" }) {
            if (QFileInfo(file).isSymLink() || QFileInfo(file).ownerId() != ::geteuid()) {
                QFile::remove(file); // left so by a hostile row
            }
        }
        return servicekit::clientOpenVpnRun(app, dir.path());
    }

    QString path(const QString& name) const
    {
        return servicekit::programPath(app, name);
    }
    // The service, with extra arguments, run by the launcher if one is given.
    bool startService(const QStringList& extraArguments = {}, const QStringList& launcher = {})
    {
        stopService();
        // Other test programs may hold the port for a while.
        const auto portFree = [] {
            return !portAnswers();
        };
        if (!QTest::qWaitFor(portFree, 60000)) {
            return false;
        }
        service = new QProcess(this);
        servicekit::launch(*service, app, dir.path(), extraArguments, launcher);
        return service->waitForStarted(10000) && QTest::qWaitFor(portAnswers, 15000);
    }
    void stopService(bool crash = false)
    {
        if (service != nullptr) {
            crash ? service->kill() : service->terminate();
            service->waitForFinished(15000);
            delete service;
            service = nullptr;
        }
    }
    bool running() const
    {
        return service != nullptr && service->state() == QProcess::Running;
    }
    QString read(const QString& name) const
    {
        return readFile(dir.filePath(name));
    }
    QStringList records() const
    {
        return servicekit::records(dir.path());
    }
    // A fresh, well-formed command still runs.
    bool probeStillServes()
    {
        QWebSocket probe;
        QSignalSpy messages(&probe, &QWebSocket::textMessageReceived);
        connect(&probe, &QWebSocket::connected, this, [&] {
            probe.sendTextMessage("start: \"" + path("killswitch") + "\" \"probe\"");
        });
        probe.open(QUrl("ws://127.0.0.1:6447"));
        return QTest::qWaitFor(
            [&] {
                return texts(messages).filter("finished:").size() == 1;
            },
            8000);
    }

    QTemporaryDir dir;
    bool openVpnPlaced = false;
    const QString app = QFileInfo(dir.path()).canonicalFilePath() + "/app";
    const QString outside = QFileInfo(dir.path()).canonicalFilePath() + "/outside";
    QProcess* service = nullptr;
    QStringList received;
    QWebSocketServer* server = nullptr;
    QWebSocket* peer = nullptr;
};

int main(int argc, char** argv)
{
    return servicekit::isolatedTestMain<TestService>(argc, argv);
}

#include "tst_service.moc"
