// The client's service link and vpn-service: framing against an in-process WebSocket server, then a
// real vpn-service process run from a throw-away application folder, with the stand-in program in
// place of OpenVPN and the two tools. Both listen on 127.0.0.1:6447.
#include "../support/logcapture.h"
#include "../support/servicekit.h"
#include "service/openvpnprocess.h"
#include "service/servicecontroller.h"
#include "service/servicemessage.h"

#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>
#include <sys/mount.h>
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

// A client of the service that sends its messages once linked (a payload: the first, as bytes, which
// keep a NUL byte; binary: as a binary frame) and records the answers.
struct Peer
{
    QWebSocket socket;
    QSignalSpy answers { &socket, &QWebSocket::textMessageReceived };
    explicit Peer(const QStringList& messages, const QByteArray& payload = {}, bool binary = false)
    {
        QObject::connect(&socket, &QWebSocket::connected, &socket, [=] {
            if (binary) {
                socket.sendBinaryMessage(payload);
            } else if (!payload.isEmpty()) {
                socket.sendTextMessage(QString::fromUtf8(payload.constData(), payload.size()));
            }
            for (const QString& message : messages) {
                socket.sendTextMessage(message);
            }
        });
        socket.open(QUrl("ws://127.0.0.1:6447"));
    }
    QStringList texts() const
    {
        return ::texts(answers);
    }
};

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
        // The OpenVPN stand-in, put over the system's OpenVPN.
        QVERIFY(QDir().mkpath(outside) && QFile::copy(standin, outside + "/openvpn"));
        openVpnPlaced = servicekit::placeOpenVpn(outside + "/openvpn");
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
        // Nobody listens, past the link's first retry: one initial status report (and one to the end).
        QTRY_VERIFY_WITH_TIMEOUT(testlog::count("Reopen connection") >= 1 && initial.count() == 1, 10000);
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
        QVERIFY(running() || startService()); // the folder is looked at for every command
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
        // The answers, no news of the old run.
        QTRY_COMPARE(texts(output), QStringList({ "finished:0,0,init", "lockdown:off" }));
        // A crashed service leaves no OpenVPN behind that no one could stop.
        QVERIFY(startWaiting(openVpn, 4));
        stopService(true);
        QTRY_COMPARE_WITH_TIMEOUT(terminated(), 4, 5000);
    }

    // What one OpenVPN run writes into the user's log is capped: a run that floods it stops at the cap.
    void openVpnLogCapped()
    {
        if (!openVpnPlaced) {
            QSKIP("needs root to put the OpenVPN stand-in in place");
        }
        QVERIFY(startService());
        const QStringList command = openVpnCommand();
        QFile config(command.at(2));
        QVERIFY(config.open(QIODevice::ReadWrite));
        const QByteArray text = config.readAll().replace("verb 3\r\n", "verb 11\r\n");
        QVERIFY(config.seek(0) && config.write(text) == text.size());
        config.close();
        ServiceController controller;
        OpenVpnProcess openVpn(&controller);
        openVpn.start(command);
        QTRY_VERIFY_WITH_TIMEOUT(!records().filter("openvpn wrote ").isEmpty(), 15000);
        const qint64 wrote = records().filter("openvpn wrote ").at(0).section(' ', 2).toLongLong();
        const qint64 cap = 16 * 1024 * 1024; // the service's, for one run
        QVERIFY2(wrote > 0 && wrote <= cap, qPrintable(QString::number(wrote)));
        QVERIFY(QFileInfo(command.at(5)).size() <= cap + 100);
        QSignalSpy finished(&openVpn, &ServiceProcess::finished);
        openVpn.stop("anything");
        QTRY_COMPARE_WITH_TIMEOUT(records().count("openvpn SIGTERM"), 1, 8000);
        // What follows the run's end (its guard lifted, before a later run of the tool) is done before the
        // next test counts what ran.
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 8000);
        QVERIFY(probeStillServes());
        stopService();
    }

    // What the service does with commands its checks refuse: the checks themselves are the tables of
    // tst_servicerules (parser, programs, OpenVPN files); a row here for each shows the service applies
    // them. What the peer gets: a failed start under the program's name (never text it sent), nothing,
    // or its connection closed.
    void hostileCommandRunsNothing_data()
    {
        QTest::addColumn<QByteArray>("payload"); // %K killswitch, %A application folder, %M marker, %0 NUL
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("answer");
        const QByteArray vpn
            = "start: \"%V\" \"--config\" \"%C\" \"--management-query-passwords\" \"--log-append\" \"%L\"";
        const QString refusedVpn = "started:0,1,openvpn\n";
        // clang-format off
        QTest::newRow("NUL in argument") << QByteArray("start: \"%K\" \"a%0b\"") << "" << "";
        QTest::newRow("enormous") << "start: \"%K\" \"" + QByteArray(300000, 'x') + '"' << "" << "closed";
        QTest::newRow("long, under the frame limit") << "start: \"%K\" \"" + QByteArray(40000, 'x') + '"' << "" << "";
        QTest::newRow("binary frame") << QByteArray("start: \"%K\" \"binary\"") << "binary" << "";
        QTest::newRow("path: a folder that only starts like it") << QByteArray("start: \"%A-old/killswitch\"") << "" << "started:0,1,killswitch\n";
        QTest::newRow("log: a symlink") << vpn << "log-symlink" << refusedVpn;
        // No tunnel without its guard, which is the kill switch tool's.
        QTest::newRow("guard: its tool missing") << vpn << "killswitch-missing" << refusedVpn;
        QTest::newRow("guard: its tool not executable") << vpn << "killswitch-not-executable" << refusedVpn;
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
        }
        const QString killSwitch = path("killswitch");
        const auto restoreTool = [killSwitch] {
            QFile::rename(killSwitch + ".away", killSwitch);
            QFile::setPermissions(killSwitch, QFileDevice::Permissions(0x7555));
        };
        const auto restoreAtEnd = qScopeGuard(restoreTool);
        if (setup == "killswitch-missing") {
            QVERIFY(QFile::rename(killSwitch, killSwitch + ".away"));
        } else if (setup == "killswitch-not-executable") {
            QVERIFY(QFile::setPermissions(killSwitch, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        Peer peer({}, payload, setup == "binary");
        QWebSocket& socket = peer.socket;
        if (answer == "closed") {
            QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        } else {
            // Out before the probe goes: the service handles it first.
            QTRY_VERIFY(socket.state() == QAbstractSocket::ConnectedState && socket.bytesToWrite() == 0);
            QTRY_COMPARE(peer.texts().join(""), answer); // after the reading of a user file
            socket.close(); // so that the probe's reports do not reach it
        }
        restoreTool();
        QVERIFY(probeStillServes());
        QCOMPARE(records(), QStringList { "killswitch probe" });
        QVERIFY(!QFile::exists(app + "/marker") && running());
    }

    // Answered from the device itself, whoever holds the tunnel; /dev/net hidden under a tmpfs in this
    // test's mount namespace, which the service shares.
    void tunQuery_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("TUN") << false;
        QTest::newRow("no TUN") << true;
    }
    void tunQuery()
    {
        QFETCH(bool, hidden);
        if (hidden ? !servicekit::mountsIsolated : !QFile::exists("/dev/net/tun")) {
            QSKIP(hidden ? "needs root for a mount namespace" : "this machine has no TUN device");
        }
        QVERIFY(!hidden || ::mount("none", "/dev/net", "tmpfs", 0, nullptr) == 0);
        const auto unhide = qScopeGuard([hidden] {
            if (hidden) {
                ::umount2("/dev/net", MNT_DETACH);
            }
        });
        QVERIFY(running() || startService());
        Peer peer({ "query: tun" });
        QTRY_COMPARE(peer.answers.count(), 1);
        const QString answer = peer.texts().value(0);
        QVERIFY2(hidden
                ? answer.startsWith("tun:unavailable,") && answer.contains("/dev/net/tun: No such file or directory")
                : answer == "tun:available\n",
            qPrintable(answer));
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
        QStringList commands;
        for (int i = 0; i < 32; ++i) {
            const QString argument = i < 30 ? QString(900, 'x') : i == 30 ? "a\u2028FORGED\\x0a" : "b\nFORGED";
            commands << "start: \"" + path("killswitch") + "\" \"" + argument + "\"";
        }
        Peer peer(commands);
        QTRY_COMPARE_WITH_TIMEOUT(peer.texts().filter("finished:").size(), 30, 20000);
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
            peer->setParent(server); // the caller's to delete, otherwise
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
        Peer probe({ "start: \"" + path("killswitch") + "\" \"probe\"" });
        return QTest::qWaitFor(
            [&] {
                return probe.texts().filter("finished:").size() == 1;
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
