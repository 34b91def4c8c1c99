// korvex against the client's core: the real RemoteServer on a real socket with the controller, the
// window's status and the server list in this process (the tunnel's reports played), against no
// client, against a stand-in client that misbehaves, and run as another user.
#include "../support/fakeservice.h"
#include "../support/logcapture.h"
#include "../support/testkit.h"
#include "../support/vpncoreprobe.h"
#include "connection/problemreport.h"
#include "remote/remotecommands.h"
#include "remote/remoteserver.h"
#include "servers/networkapi.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "ui/connectionstatus.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

const QString berlin = QStringLiteral("198.51.100.1");

Servers allServers()
{
    return { Server(0, "CH", "Zürich", "ch1", "198.51.100.2", 80), Server(1, "DE", "Berlin", "de1", berlin, 30),
        Server(2, "FR", "Paris", "fr1", "198.51.100.3", 50) };
}

// Listens where korvex looks, writes its arguments beside the socket, takes one request and, as
// STANDIN_MODE says, answers it, closes without a word or answers what is not JSON.
const QByteArray standIn = R"(#!/usr/bin/env python3
import os, socket, sys
folder = os.path.join(os.environ["XDG_RUNTIME_DIR"], "korvex")
os.makedirs(folder, mode=0o700, exist_ok=True)
with open(os.path.join(folder, "arguments"), "w") as f:
    f.write(" ".join(sys.argv[1:]))
server = socket.socket(socket.AF_UNIX)
server.bind(os.path.join(folder, "control"))
server.listen(1)
server.settimeout(30)
connection, _ = server.accept()
line = connection.makefile("rb").readline().strip()
mode = os.environ["STANDIN_MODE"]
if mode == "answer":
    connection.sendall(b'{"result":"done","message":"stand-in: ' + line + b'"}\n')
elif mode == "garbage":
    connection.sendall(b"done\n")
connection.close()
)";

} // namespace

class TestRemote : public QObject
{
    Q_OBJECT

    TemporaryProfile profile;
    QTemporaryDir runtime;
    NetworkApi api { QStringLiteral("127.0.0.1:9"), QByteArray() };
    FakeService service;
    VpnCoreProbe core { &service };
    ServerListModel model;
    // The service's lines about this user: none, answered at once.
    ProblemReport report { &core, [](QObject*, const auto& done) {
                              done(QStringList(), QString());
                          } };
    std::unique_ptr<ConnectionStatus> status;
    std::unique_ptr<RemoteCommands> commands;
    std::unique_ptr<RemoteServer> server;

    // korvex with its arguments, standard input and environment, the event loop running meanwhile.
    Run korvex(const QStringList& arguments, const QByteArray& input = QByteArray(),
        const QString& program = VPN_APP_DIR "/korvex", const QString& runtimeDir = QString(),
        const QStringList& extraEnvironment = QStringList())
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.isEmpty() ? runtime.path() : runtimeDir);
        for (const QString& pair : extraEnvironment) {
            environment.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        }
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(runtime.path());
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        Run run;
        if (!QTest::qWaitFor(
                [&process] {
                    return process.state() == QProcess::NotRunning;
                },
                100 * 1000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        core.setNetworkApi(&api);
        connect(&model, &ServerListModel::serverIpChanged, &core, &VpnCore::setVpnServerIp);
        model.updateServerList(allServers());
        model.updateCurrentServer(0);
        status = std::make_unique<ConnectionStatus>(&core, &model);
        commands = std::make_unique<RemoteCommands>(&core, status.get(), &model, Settings::instance(), &report);
        init();
        QCOMPARE(QFileInfo(runtime.filePath("korvex")).permissions() & 0x0077, QFileDevice::Permissions());
    }

    // The fixture's own listener, again after a test that replaced it.
    void init()
    {
        if (!server) {
            server = std::make_unique<RemoteServer>(commands.get());
            QVERIFY(server->listen());
        }
    }

    // Each answer and exit code; what the command changed where it changes something.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("notShown");
        // clang-format off
        QTest::newRow("status") << QStringList { "status" } << QByteArray() << 0 << "State:      Disconnected\n" << "Tunnel IP";
        QTest::newRow("status, JSON") << QStringList { "--json", "status" } << QByteArray() << 0 << R"("state":"disconnected")" << "\n{";
        QTest::newRow("locations, searched") << QStringList { "locations", "zurich" } << QByteArray() << 0 << "* Switzerland, Zürich, " << "Berlin";
        QTest::newRow("lock on") << QStringList { "lock", "on" } << QByteArray() << 0 << "The network lock is on" << "";
        QTest::newRow("account") << QStringList { "account", "alice" } << QByteArray("s3cret word\n") << 0 << "The account is stored" << "s3cret";
        QTest::newRow("account, no password") << QStringList { "account", "bob" } << QByteArray() << 1 << "no password" << "";
        QTest::newRow("account, password as argument") << QStringList { "account", "bob", "s3cret" } << QByteArray() << 2 << "user name only" << "";
        QTest::newRow("connect, no such place") << QStringList { "connect", "atlantis" } << QByteArray() << 1 << "No location matches" << "";
        QTest::newRow("report, relative path") << QStringList { "report", "r.tar" } << QByteArray() << 0 << "saved in " + runtime.filePath("r.tar") << "";
        QTest::newRow("unknown command") << QStringList { "reboot" } << QByteArray() << 2 << "unknown command" << "";
        QTest::newRow("lock, neither on nor off") << QStringList { "lock", "maybe" } << QByteArray() << 2 << "'on' or 'off'" << "";
        QTest::newRow("no command") << QStringList() << QByteArray() << 2 << "Usage:" << "";
        // clang-format on
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QFETCH(QString, notShown);
        const Run run = korvex(arguments, input);
        const QString all = run.out + run.err;
        QVERIFY2(all.contains(shown), qPrintable(all));
        QVERIFY2(notShown.isEmpty() || !all.contains(notShown), qPrintable(all));
        QCOMPARE(run.code, code);
        QCOMPARE(!run.err.isEmpty(), code != 0);
        if (arguments.value(0) == QLatin1String("lock") && code == 0) {
            QVERIFY(Settings::instance()->killswitchEnabled());
        }
        if (arguments.value(0) == QLatin1String("report")) {
            QVERIFY(QFile::exists(runtime.filePath("r.tar")));
        }
        if (arguments.value(0) == QLatin1String("account") && code == 0) {
            QCOMPARE(Settings::instance()->password(), QStringLiteral("s3cret word"));
        }
    }

    // Another user's lockdown: the command line cannot lift it, and says whose it is.
    void anotherUsersLockdown()
    {
        // (The stand-in service would answer this user's own requests as if lockdown were its.)
        service.answers = false;
        const auto answering = qScopeGuard([this] {
            service.answers = true;
        });
        service.play(QStringLiteral("lockdown:on,held:alice"));
        QTRY_COMPARE(core.lockdownHolder(), QStringLiteral("alice"));
        const Run off = korvex({ "lockdown", "off" });
        QCOMPARE(off.code, 1);
        QVERIFY2(off.err.contains("turned on by the user alice"), qPrintable(off.out + off.err));
        QVERIFY(korvex({ "--json", "status" }).out.contains(R"("lockdownHolder":"alice")"));
        service.play(QStringLiteral("lockdown:off"));
        QTRY_VERIFY(core.lockdownHolder().isEmpty());
    }

    // A connect chooses the place as the list's search finds it and answers once the tunnel is up; a
    // disconnect once it is down.
    void connectAndDisconnect()
    {
        Settings::instance()->setUserName(QStringLiteral("alice"));
        Settings::instance()->setPassword(QStringLiteral("secret"));
        Settings::instance()->setKillswitchEnabled(false);
        QProcess connecting;
        connecting.setProgram(VPN_APP_DIR "/korvex");
        connecting.setArguments({ "connect", "germany" });
        connecting.start();
        QTRY_COMPARE_WITH_TIMEOUT(core.vpnServerIp(), berlin, 20000);
        core.onVpnConnectionStateChanged(VpnClient::Connected, QString(), false);
        QTRY_COMPARE_WITH_TIMEOUT(connecting.state(), QProcess::NotRunning, 20000);
        QCOMPARE(connecting.exitCode(), 0);
        QVERIFY(connecting.readAllStandardOutput().startsWith("Connected to "));

        const Run again = korvex({ "connect" });
        QCOMPARE(again.code, 0);
        QVERIFY(again.out.startsWith("Already connected"));

        QProcess disconnecting;
        disconnecting.start(VPN_APP_DIR "/korvex", { "--json", "disconnect" });
        // The tunnel's end is played if the controller waits for it.
        QTRY_VERIFY_WITH_TIMEOUT(
            disconnecting.state() == QProcess::NotRunning || status->state() == ConnectionStatus::Disconnecting, 20000);
        if (status->state() == ConnectionStatus::Disconnecting) {
            core.onVpnConnectionStateChanged(VpnClient::Disconnected, QString(), false);
        }
        QTRY_COMPARE_WITH_TIMEOUT(disconnecting.state(), QProcess::NotRunning, 20000);
        QCOMPARE(status->state(), ConnectionStatus::Disconnected);
        QCOMPARE(disconnecting.exitCode(), 0);
        QCOMPARE(QJsonDocument::fromJson(disconnecting.readAllStandardOutput()).object().value("result"), "done");

        // The quickest by round trip and load, as the list's entry picks it; the figures shown beside the load.
        const QStringList addresses { "198.51.100.2", berlin, "198.51.100.3" };
        for (int i = 0; i < addresses.size(); ++i) {
            model.setRoundTrip(addresses.at(i), QList<int> { 120, 40, 5 }.at(i));
        }
        QVERIFY(korvex({ "locations", "paris" }).out.contains(", 5 ms"));
        QProcess quickest;
        quickest.start(VPN_APP_DIR "/korvex", { "connect", "quickest" });
        QTRY_COMPARE_WITH_TIMEOUT(core.vpnServerIp(), QString("198.51.100.3"), 20000);
        core.onVpnConnectionStateChanged(VpnClient::Connected, QString(), false);
        QTRY_COMPARE_WITH_TIMEOUT(quickest.state(), QProcess::NotRunning, 20000);
        QCOMPARE(quickest.exitCode(), 0);
        core.disconnectFromVpn();
        core.onVpnConnectionStateChanged(VpnClient::Disconnected, QString(), false);
    }

    // A connect to the chosen location that comes before the list (a client korvex just started) waits for
    // the list and for the chosen server it restores.
    void connectBeforeTheList()
    {
        server.reset();
        ServerListModel fresh;
        connect(&fresh, &ServerListModel::serverIpChanged, &core, &VpnCore::setVpnServerIp);
        ConnectionStatus freshStatus(&core, &fresh);
        RemoteCommands freshCommands(&core, &freshStatus, &fresh, Settings::instance());
        RemoteServer freshServer(&freshCommands);
        QVERIFY(freshServer.listen());
        testlog::capture(true);
        testlog::clear();
        QProcess connecting;
        connecting.start(VPN_APP_DIR "/korvex", { "connect" });
        QTRY_COMPARE_WITH_TIMEOUT(testlog::count(QStringLiteral("Request: connect")), 1, 20000);
        fresh.updateServerList(allServers());
        QTRY_VERIFY_WITH_TIMEOUT(
            freshStatus.state() == ConnectionStatus::Connecting || connecting.state() == QProcess::NotRunning, 20000);
        core.onVpnConnectionStateChanged(VpnClient::Connected, QString(), false);
        QTRY_COMPARE_WITH_TIMEOUT(connecting.state(), QProcess::NotRunning, 20000);
        QVERIFY2(connecting.exitCode() == 0, connecting.readAllStandardError().constData());
        core.disconnectFromVpn();
        core.onVpnConnectionStateChanged(VpnClient::Disconnected, QString(), false);
    }

    // Lines that a process of the user may write straight to the socket.
    void hostileLines_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("malformed") << QByteArray("connect  berlin\n");
        QTest::newRow("unknown word") << QByteArray("shutdown\n");
        QTest::newRow("too long, no line end") << QByteArray(RemoteProtocol::maxRequestLength + 10, 'a');
    }
    void hostileLines()
    {
        QFETCH(QByteArray, sent);
        QLocalSocket socket;
        socket.connectToServer(runtime.filePath("korvex/control"));
        QVERIFY(socket.waitForConnected(5000));
        socket.write(sent);
        QTRY_VERIFY_WITH_TIMEOUT(socket.canReadLine(), 2000);
        QJsonObject reply;
        QString error;
        QVERIFY(RemoteProtocol::parseReply(socket.readLine().chopped(1), &reply, &error));
        QCOMPARE(RemoteProtocol::outcomeOf(reply), RemoteProtocol::Outcome::Usage);
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, 5000);
    }

    // Without a client: only connect starts one, in the tray, and waits for it; a client that stops
    // or answers nonsense is an error, never a hang.
    void noClient_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("status, none runs") << "status" << "answer" << 1 << "not running";
        QTest::newRow("connect starts one") << "connect" << "answer" << 0 << "stand-in: connect\n";
        QTest::newRow("it stops before answering") << "connect" << "close" << 1 << "stopped before it answered";
        QTest::newRow("it answers nonsense") << "connect" << "garbage" << 1 << "cannot be read";
        // clang-format on
    }
    void noClient()
    {
        QFETCH(QString, command);
        QFETCH(QString, mode);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QTemporaryDir folder;
        QTemporaryDir runtimeDir;
        QVERIFY(QFile::copy(VPN_APP_DIR "/korvex", folder.filePath("korvex")));
        QFile script(folder.filePath("vpnclient"));
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write(standIn) == standIn.size());
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        const Run run = korvex({ command }, QByteArray(), folder.filePath("korvex"), runtimeDir.path(),
            { QStringLiteral("STANDIN_MODE=") + mode });
        QVERIFY2((run.out + run.err).contains(shown), qPrintable(run.out + run.err));
        QCOMPARE(run.code, code);
        QCOMPARE(
            readFile(runtimeDir.filePath("korvex/arguments")), command == "connect" ? QString("--hidden") : QString());
    }

    // Another user is refused by the folder; where it has been opened, korvex refuses a listener that is not
    // the user's own and the client a peer that is not its own, each by the kernel's word.
    void anotherUser_data()
    {
        QTest::addColumn<bool>("folderOpened");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("shown");
        const QStringList status { VPN_APP_DIR "/korvex", "status" };
        const QStringList raw { "/usr/bin/python3", "-c",
            "import os, socket; s = socket.socket(socket.AF_UNIX); "
            "s.connect(os.environ['XDG_RUNTIME_DIR'] + '/korvex/control'); s.sendall(b'status\\n'); "
            "print(s.makefile().readline())" };
        QTest::newRow("korvex, folder private") << false << status << "is not yours";
        QTest::newRow("korvex, folder opened") << true << status << "not your own client's";
        QTest::newRow("a raw request, folder opened") << true << raw << R"("result":"not-allowed")";
    }
    void anotherUser()
    {
        QFETCH(bool, folderOpened);
        QFETCH(QStringList, command);
        QFETCH(QString, shown);
        if (::geteuid() != 0) {
            QSKIP("running as another user needs root");
        }
        const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        const auto own = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        const QStringList folders { runtime.path(), runtime.filePath("korvex") };
        for (const QString& path : folders) {
            QFile::setPermissions(path, folderOpened ? open : own);
        }
        QFile::setPermissions(runtime.filePath("korvex/control"), folderOpened ? open | QFileDevice::WriteOther : own);
        const Run run = korvex(QStringList { "--reuid=65534", "--regid=65534", "--clear-groups" } + command,
            QByteArray(), QStringLiteral("/usr/bin/setpriv"));
        for (const QString& path : folders) {
            QFile::setPermissions(path, own);
        }
        QVERIFY2((run.out + run.err).contains(shown), qPrintable(run.out + run.err));
        QCOMPARE(run.code, command.first().endsWith("python3") ? 0 : 3);
    }
};

QTEST_MAIN(TestRemote)
#include "tst_remote.moc"
