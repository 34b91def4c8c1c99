// The service runs OpenVPN with full rights on files the user names: only the client's command,
// a configuration of the client's template (checked, then copied where the user cannot reach it)
// and a log file of the user's own, opened by the service. The commands come from a client process
// that runs as an unprivileged user when the test runs as root.
#include "servicefixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

const char* const clientMode = "--as-client";
constexpr uid_t unprivileged = 65534;

// The client side in a process of its own: connects, prints "connected", sends each line of its
// standard input as a command and prints every status line it gets.
int runClient(int argc, char** argv)
{
    const uid_t uid = static_cast<uid_t>(QByteArray(argv[2]).toUInt());
    if (uid != ::geteuid() && (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0)) {
        return 3;
    }
    QCoreApplication app(argc, argv);
    QWebSocket socket;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&socket, &QWebSocket::connected, [] {
        std::printf("connected\n");
        std::fflush(stdout);
    });
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [](const QString& message) {
        std::printf("%s", message.toUtf8().constData());
        std::fflush(stdout);
    });
    QObject::connect(&socket, &QWebSocket::disconnected, &app, &QCoreApplication::quit);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (got <= 0) {
            input.setEnabled(false);
            socket.close();
            return;
        }
        pending.append(buffer, static_cast<int>(got));
        int end = -1;
        while ((end = pending.indexOf('\n')) >= 0) {
            socket.sendTextMessage(QString::fromUtf8(pending.left(end)));
            pending.remove(0, end + 1);
        }
    });
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:6447")));
    return app.exec();
}

class Client
{
public:
    bool start(uid_t uid)
    {
        process.start(QCoreApplication::applicationFilePath(), { clientMode, QString::number(uid) });
        return process.waitForStarted(5000)
            && QTest::qWaitFor(
                [this] {
                    return lines().contains("connected");
                },
                8000);
    }
    void send(const QString& command)
    {
        process.write(command.toUtf8() + '\n');
    }
    QStringList lines()
    {
        output += process.readAllStandardOutput();
        return QString::fromUtf8(output).split('\n', Qt::SkipEmptyParts);
    }
    ~Client()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

private:
    QProcess process;
    QByteArray output;
};

// What the client's template produces for UDP, with short stand-ins for the keys.
const QByteArray validConfig = "client\r\ndev tun\r\nmanagement 127.0.0.1 61973\r\nremote vpn.example.net 88 udp\r\n"
                               "auth-user-pass\r\nauth-nocache\r\nnobind\r\nauth SHA256\r\ncipher AES-256-GCM\r\n"
                               "tls-client\r\nverb 3\r\ntls-cipher TLS-ECDHE-ECDSA-WITH-AES-256-GCM-SHA384\r\n"
                               "remote-cert-eku \"TLS Web Server Authentication\"\r\npersist-key\r\npersist-tun\r\n"
                               "compress lz4-v2\r\n\r\nregister-dns\r\ndhcp-renew\r\nblock-outside-dns\r\n"
                               "mute-replay-warnings\r\nreplay-window 256\r\n\r\n\r\n<tls-crypt>\r\n#\r\n"
                               "# 2048 bit OpenVPN static key\r\n#\r\n-----BEGIN OpenVPN Static key V1-----\r\n"
                               "0123456789abcdef0123456789abcdef\r\n-----END OpenVPN Static key V1-----\r\n\r\n"
                               "</tls-crypt>\r\n\r\n<ca>\r\n-----BEGIN CERTIFICATE-----\r\nMIIBszCCAVmgAwIBAgIU+/==\r\n"
                               "-----END CERTIFICATE-----\r\n\r\n</ca>\r\n";

} // namespace

class TestServiceOpenVpnGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void refusedRunsNothing_data();
    void refusedRunsNothing();
    void validRunGetsPrivateCopyAndUserLog();

private:
    QStringList command(const QString& config, const QString& log) const;
    QString writeUserFile(const QString& name, const QByteArray& content) const;

    ServiceFixture* fixture = nullptr;
    std::unique_ptr<QTemporaryDir> files;
    uid_t user = 0;
};

void TestServiceOpenVpnGuard::initTestCase()
{
    user = ::geteuid() == 0 ? unprivileged : ::geteuid();
    fixture = new ServiceFixture;
    QVERIFY(fixture->isValid());
    const QString openVpn = fixture->path("openvpn");
    QVERIFY(QFile::remove(openVpn));
    QVERIFY(QFile::copy(QStringLiteral(VPN_TEST_BIN_DIR "/svc_guard_openvpn"), openVpn));
    QVERIFY(QFile::setPermissions(openVpn, QFile::permissions(fixture->path("dns"))));
    QVERIFY(fixture->startService());
}

void TestServiceOpenVpnGuard::cleanupTestCase()
{
    fixture->stopService();
    const QString report = fixture->sanitizerReport();
    QVERIFY2(report.isEmpty(), qPrintable(report));
    delete fixture;
}

void TestServiceOpenVpnGuard::init()
{
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(files->isValid());
    QVERIFY(::chmod(QFile::encodeName(files->path()).constData(), 0755) == 0);
    fixture->clearRecords();
}

void TestServiceOpenVpnGuard::cleanup()
{
    if (QTest::currentTestFailed()) {
        qWarning().noquote() << "Service log:\n" << fixture->serviceLog().right(4000);
    }
    files.reset();
}

QStringList TestServiceOpenVpnGuard::command(const QString& config, const QString& log) const
{
    return { fixture->path("openvpn"), "--config", config, "--management-query-passwords", "--log-append", log };
}

QString TestServiceOpenVpnGuard::writeUserFile(const QString& name, const QByteArray& content) const
{
    const QString path = files->path() + '/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        return {};
    }
    file.close();
    return ::chown(QFile::encodeName(path).constData(), user, user) == 0 ? path : QString();
}

static QString quoted(const QStringList& arguments)
{
    return "start: \"" + arguments.join("\" \"") + "\"";
}

void TestServiceOpenVpnGuard::refusedRunsNothing_data()
{
    QTest::addColumn<QByteArray>("config"); // added to a valid configuration
    QTest::addColumn<QString>("setup"); // what to do to the files or the command
    QTest::addColumn<QString>("reason"); // in the service's refusal

    const auto directive = [](const char* name, const QByteArray& line, const QString& reason) {
        QTest::newRow(name) << line << QString() << reason;
    };
    directive("plugin", "plugin /tmp/evil.so", "directive plugin is not allowed (line 41)");
    directive("up script", "up /tmp/evil.sh", "directive up is not allowed (line 41)");
    directive("down script", "down /tmp/evil.sh", "directive down is not allowed (line 41)");
    directive("route-up script", "route-up /tmp/evil.sh", "directive route-up is not allowed (line 41)");
    directive("tls-verify script", "tls-verify /tmp/evil.sh", "directive tls-verify is not allowed (line 41)");
    directive("script-security", "script-security 2", "directive script-security is not allowed (line 41)");
    directive("setenv", "setenv PATH /tmp", "directive setenv is not allowed (line 41)");
    directive("log", "log /etc/passwd", "directive log is not allowed (line 41)");
    directive("log-append", "log-append /etc/passwd", "directive log-append is not allowed (line 41)");
    directive("status", "status /etc/cron.d/x", "directive status is not allowed (line 41)");
    directive("writepid", "writepid /etc/cron.d/x", "directive writepid is not allowed (line 41)");
    directive("cd", "cd /tmp", "directive cd is not allowed (line 41)");
    directive("chroot", "chroot /tmp", "directive chroot is not allowed (line 41)");
    directive("daemon", "daemon", "directive daemon is not allowed (line 41)");
    directive("nested config", "config /tmp/other.ovpn", "directive config is not allowed (line 41)");
    directive(
        "management on all addresses", "management 0.0.0.0 61973", "directive management with arguments 0.0.0.0 61973");
    directive("management password file", "management 127.0.0.1 61973 /etc/shadow",
        "directive management with arguments 127.0.0.1 61973 /etc/shadow");
    directive("credentials from a file", "auth-user-pass /etc/shadow", "directive auth-user-pass with arguments");
    directive("other device", "dev eth0", "directive dev with arguments eth0");
    directive("double dash", "--up /tmp/evil.sh", "directive --up is not allowed (line 41)");
    directive("quoted directive", "\"up\" /tmp/evil.sh", "directive up is not allowed (line 41)");
    directive("single quotes", "remote 'a b' 88", "unsupported character ' in directive remote");
    directive("backslash", "remote a\\ b 88", "unsupported character \\ in directive remote");
    directive("comment character inside", "verb 3 #x", "unsupported character # in directive verb");
    directive("inline connection", "<connection>\nremote x\nup /tmp/evil.sh\n</connection>",
        "inline block <connection> is not allowed");
    directive("inline credentials", "<auth-user-pass>\nuser\n</auth-user-pass>",
        "inline block <auth-user-pass> is not allowed");
    directive("second ca block", "<ca>\nAAAA\n</ca>", "inline block <ca> given twice");
    QTest::newRow("script inside an inline block")
        << QByteArray("client\n<ca>\nAAAA\nup /tmp/evil.sh\n</ca>\n") << "replace"
        << "unexpected text in inline <ca> (line 4)";
    QTest::newRow("inline block not closed") << QByteArray("client\n<ca>\nAAAA\n") << "replace"
                                             << "inline <ca> is not closed";
    directive("long line", "remote-cert-eku \"" + QByteArray(240, 'A') + " up evil.sh\"",
        "line longer than 250 characters (line 41)");
    directive("NUL byte", QByteArray("verb 3\0up /tmp/evil.sh", 22), "control or non-ASCII character 0x00");
    directive("too large", QByteArray(70 * 1024, '#'), "larger than 65536 bytes");

    const auto files = [](const char* name, const QString& setup, const QString& reason) {
        QTest::newRow(name) << QByteArray() << setup << reason;
    };
    files("extra option", "extra", "arguments are not --config FILE");
    files("options in another order", "reordered", "arguments are not --config FILE");
    files("no log option", "no-log", "arguments are not --config FILE");
    files("config is a symlink", "config-symlink", "configuration %1 cannot be opened: symbolic link");
    files("config of another user", "config-other", "owned by uid 0, not by the client's user");
    files("config is a system file", "config-shadow", "configuration /etc/shadow: owned by uid 0");
    files("config is a FIFO", "config-fifo", "not a regular file");
    files("config relative", "config-relative", "is not an absolute path");
    files("log is a symlink", "log-symlink", "log file %2 cannot be opened: symbolic link");
    files("log of another user", "log-other", "owned by uid 0, not by the client's user");
    files("log is a FIFO without reader", "log-fifo", "log file %2 cannot be opened");
    files("log missing", "log-missing", "No such file or directory");
}

void TestServiceOpenVpnGuard::refusedRunsNothing()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    if (setup.endsWith("-other") || setup.endsWith("-shadow")) {
        if (::geteuid() != 0) {
            QSKIP("needs root to command the service as another user");
        }
    }

    const QString configPath = writeUserFile("client.ovpn", setup == "replace" ? config : validConfig + config);
    const QString logPath = writeUserFile("openvpn.log", "before\n");
    QVERIFY(!configPath.isEmpty() && !logPath.isEmpty());
    const QString elsewhere = files->path() + "/elsewhere";
    QVERIFY(QFile::copy(logPath, elsewhere));
    QVERIFY(::chown(QFile::encodeName(elsewhere).constData(), user, user) == 0);
    QStringList arguments = command(configPath, logPath);
    if (setup == "extra") {
        arguments << "--up"
                  << "/tmp/evil.sh";
    } else if (setup == "reordered") {
        arguments = QStringList { arguments.at(0), "--log-append", logPath, "--management-query-passwords", "--config",
            configPath };
    } else if (setup == "no-log") {
        arguments = arguments.mid(0, 4);
    } else if (setup == "config-symlink" || setup == "log-symlink") {
        // A link of the user's own to a file of the user's own: still refused, as the user could
        // point it anywhere once it was checked.
        const QString link = files->path() + "/link";
        QVERIFY(QFile::link(setup == "config-symlink" ? configPath : elsewhere, link));
        QVERIFY(::lchown(QFile::encodeName(link).constData(), user, user) == 0);
        arguments[setup == "config-symlink" ? 2 : 5] = link;
    } else if (setup == "config-other" || setup == "log-other") {
        const QString& path = setup == "config-other" ? configPath : logPath;
        QVERIFY(::chown(QFile::encodeName(path).constData(), 0, 0) == 0);
    } else if (setup == "config-shadow") {
        arguments[2] = "/etc/shadow";
    } else if (setup == "config-fifo" || setup == "log-fifo") {
        const QString fifo = files->path() + "/fifo";
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0666) == 0);
        QVERIFY(::chown(QFile::encodeName(fifo).constData(), user, user) == 0);
        arguments[setup == "config-fifo" ? 2 : 5] = fifo;
    } else if (setup == "config-relative") {
        arguments[2] = "client.ovpn";
    } else if (setup == "log-missing") {
        arguments[5] = files->path() + "/missing.log";
    }
    reason.replace("%1", arguments.at(2)).replace("%2", arguments.value(5));

    const int logStart = fixture->serviceLog().size();
    Client client;
    QVERIFY(client.start(user));
    client.send(quoted(arguments));
    QTRY_VERIFY_WITH_TIMEOUT(client.lines().contains("started:0,1,openvpn"), 8000);
    const QString log = fixture->serviceLog().mid(logStart);
    QVERIFY2(log.contains("Refused to run openvpn: "), qPrintable(log));
    QVERIFY2(log.contains(reason), qPrintable(log));
    QVERIFY(!log.contains("Started openvpn"));
    QCOMPARE(fixture->records(), QStringList());
    QFile logFile(logPath);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QCOMPARE(logFile.readAll(), QByteArray("before\n"));
}

void TestServiceOpenVpnGuard::validRunGetsPrivateCopyAndUserLog()
{
    const QString configPath = writeUserFile("client.ovpn", validConfig);
    const QString logPath = writeUserFile("openvpn.log", "before\n");
    QVERIFY(!configPath.isEmpty() && !logPath.isEmpty());
    Client client;
    QVERIFY(client.start(user));
    client.send(quoted(command(configPath, logPath)));
    QTRY_VERIFY_WITH_TIMEOUT(
        client.lines().filter(QRegularExpression("^started:[1-9][0-9]*,0,openvpn$")).size() == 1, 8000);
    QTRY_COMPARE(fixture->records(), QStringList { "guard-openvpn started" });

    // The user edits the file OpenVPN was named, then swaps it for another: neither reaches OpenVPN.
    QFile original(configPath);
    QVERIFY(original.open(QIODevice::Append));
    original.write("\r\nplugin /tmp/evil.so\r\n");
    original.close();
    QVERIFY(QFile::remove(configPath));
    QVERIFY(!writeUserFile("client.ovpn", "up /tmp/evil.sh\n").isEmpty());

    client.send("stop: <openvpn>");
    QTRY_VERIFY_WITH_TIMEOUT(
        client.lines().filter(QRegularExpression("^finished:[1-9][0-9]*,0,openvpn$")).size() == 1, 8000);

    QFile logFile(logPath);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QStringList log = QString::fromUtf8(logFile.readAll()).split('\n');
    QCOMPARE(log.value(0), QString("before")); // appended, not truncated
    const QRegularExpression arguments(
        "^guard-openvpn --config (/.+/vpn-service-[^/]+/openvpn\\.ovpn) --management-query-passwords$");
    const QRegularExpressionMatch match = arguments.match(log.value(1));
    QVERIFY2(match.hasMatch(), qPrintable(log.join('\n')));
    const QString copy = match.captured(1);
    const QString owner = QString::number(::geteuid());
    QCOMPARE(log.value(2), "config " + copy + " mode 600 uid " + owner);
    QCOMPARE(log.value(3), "folder " + QFileInfo(copy).absolutePath() + " mode 700 uid " + owner);

    const QStringList seen = log.filter(QRegularExpression("^config: "));
    QVERIFY(seen.contains("config: client"));
    QVERIFY(seen.contains("config: remote vpn.example.net 88 udp"));
    QVERIFY(seen.contains("config: remote-cert-eku \"TLS Web Server Authentication\""));
    QVERIFY(seen.contains("config: -----BEGIN CERTIFICATE-----"));
    QVERIFY(seen.contains("config: </ca>"));
    QVERIFY(!log.join('\n').contains("evil"));
    // The private copy goes with the run.
    QTRY_VERIFY(!QFileInfo::exists(QFileInfo(copy).absolutePath()));
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], clientMode) == 0) {
        return runClient(argc, argv);
    }
    QCoreApplication app(argc, argv);
    TestServiceOpenVpnGuard test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serviceopenvpnguard.moc"
