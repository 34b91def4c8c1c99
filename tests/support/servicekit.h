// Shared by the tests that run a real vpn-service from an application folder of their own, where
// copies of the test program stand in for the two tools, and for the system's OpenVPN by a bind
// mount over it in a mount namespace of the test's own.
#pragma once

#include "deploymentconfig.h"
#include "platform/programpaths.h"
#include "programconfig.h"
#include "testkit.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace servicekit {

inline QString programPath(const QString& app, const QString& name)
{
    const ProgramPaths::Paths paths
        = ProgramPaths::forSystem(ProgramPaths::currentSystem(), app, ProgramConfig::openVpnProgram);
    return name == "openvpn" ? paths.openVpn : name == "killswitch" ? paths.killSwitch : paths.dns;
}

// A mount namespace of this process's own (as root), so that placeOpenVpn() reaches no other
// process. Call before any thread exists: every thread and child then shares it.
inline bool mountsIsolated = false;
inline bool isolateMounts()
{
    mountsIsolated = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return mountsIsolated;
}

// Puts the program where the service runs the system's OpenVPN, for this mount namespace only
// (the one isolateMounts() made); a program placed earlier makes way. False without one.
inline bool placeOpenVpn(const QString& program)
{
    if (!mountsIsolated) {
        return false;
    }
    const QByteArray target = QFile::encodeName(ProgramConfig::openVpnProgram);
    while (::umount2(target.constData(), MNT_DETACH) == 0) { }
    return ::mount(QFile::encodeName(program).constData(), target.constData(), nullptr, MS_BIND, nullptr) == 0;
}

// APP, open to all, holding the service and this program under each of the NAMES.
inline bool appFolder(const QString& app, const QStringList& names)
{
    bool made = QDir().mkpath(app) && QFile::setPermissions(app, QFileDevice::Permissions(0x7555))
        && QFile::copy(VPN_APP_DIR "/vpn-service", app + "/vpn-service");
    for (const QString& name : names) {
        made = made && QFile::copy(QCoreApplication::applicationFilePath(), app + "/" + name);
    }
    return made;
}

// Something listens on the service's port.
inline bool portAnswers()
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), 6447);
    return probe.waitForConnected(200);
}

// APP/vpn-service, logging to FOLDER/service.log; sanitizer reports go to FOLDER/service.err and the
// stand-ins' records to FOLDER/records.txt. launcher: a program and arguments that run the service.
inline void launch(QProcess& service, const QString& app, const QString& folder, const QStringList& extra = {},
    const QStringList& launcher = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VPN_STANDIN_RECORD", folder + "/records.txt");
    service.setProcessEnvironment(environment);
    service.setStandardOutputFile(QProcess::nullDevice());
    service.setStandardErrorFile(folder + "/service.err", QIODevice::Append);
    const QStringList arguments
        = QStringList { app + "/vpn-service", "--log-file", folder + "/service.log", "--state-dir", folder + "/state" }
        + extra;
    service.start(launcher.value(0, arguments.first()), launcher.mid(1) + arguments.mid(launcher.isEmpty() ? 1 : 0));
}

// What a sanitizer build of the service reported into FOLDER/service.err; empty when nothing.
inline QString sanitizerReport(const QString& folder)
{
    const QString err = readFile(folder + "/service.err");
    const int at = err.indexOf(QRegularExpression("AddressSanitizer|runtime error:|LeakSanitizer"));
    return at < 0 ? QString() : err.mid(qMax(0, at - 200), 3000);
}

// What the stand-ins ran, one "NAME ARGS" line each, in order.
inline QStringList records(const QString& folder)
{
    return readFile(folder + "/records.txt").split('\n', Qt::SkipEmptyParts);
}

// What the client writes for a run of OpenVPN, in FOLDER: a management password file of its user
// alone, a configuration that names it (the deployment's keys last) and a log. Returns the
// service's arguments for the run of APP's OpenVPN; empty when a file cannot be written.
inline QStringList clientOpenVpnRun(const QString& app, const QString& folder)
{
    QFile secret(folder + "/management.pw"), config(folder + "/client.ovpn"), log(folder + "/openvpn.log");
    const bool written = secret.open(QIODevice::WriteOnly) && secret.write(QByteArray(64, 'a') + '\n') == 65
        && secret.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && config.open(QIODevice::WriteOnly)
        && config.write("client\r\ndev tun\r\nmanagement 127.0.0.1 61973 " + QFile::encodeName(secret.fileName())
               + "\r\nremote 192.0.2.1 88 udp\r\nauth-user-pass\r\nverb 3\r\n<ca>\r\n" + Deployment::openVpnCaPem
               + "\r\n</ca>\r\n<tls-crypt>\r\n" + Deployment::openVpnTlsCryptKey + "\r\n</tls-crypt>\r\n")
            > 0
        && log.open(QIODevice::Append);
    return written ? QStringList { programPath(app, "openvpn"), "--config", config.fileName(),
        "--management-query-passwords", "--log-append", log.fileName() }
                   : QStringList();
}

inline const QByteArray handshakeRequest = "GET / HTTP/1.1\r\nHost: 127.0.0.1:6447\r\nUpgrade: websocket\r\n"
                                           "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                           "Sec-WebSocket-Version: 13\r\n\r\n";

inline bool isStandIn(const char* argv0)
{
    const QString name = QFileInfo(QFile::decodeName(argv0)).completeBaseName();
    return name == "openvpn" || name == "killswitch" || name == "dns";
}

// The stand-in for OpenVPN and the two tools. Every run appends "NAME ARGS..." to the file named by
// VPN_STANDIN_RECORD. OpenVPN as the service runs it (with "--management-query-passwords") prints a
// line and runs until SIGTERM (recorded as "openvpn SIGTERM") or SIGKILL; "exit N" ends with code N;
// anything else ends with 0.
inline int standIn(int argc, char** argv)
{
    const QByteArray name = QFileInfo(QFile::decodeName(argv[0])).completeBaseName().toUtf8();
    static volatile std::sig_atomic_t terminated = 0;
    bool wait = false;
    for (int i = 1; i < argc; ++i) {
        wait = wait || qstrcmp(argv[i], "--management-query-passwords") == 0;
    }
    if (name == "openvpn") {
        std::puts("standin output");
        std::fflush(stdout);
    }
    // With "verb 11" in its configuration it writes what it can of 24 MiB, as a flood of log lines would;
    // with "verb 0" it ends at once, as an OpenVPN that fails.
    qint64 flooded = -1;
    bool endAtOnce = false;
    for (int i = 1; name == "openvpn" && i + 1 < argc; ++i) {
        QFile config(QFile::decodeName(argv[i + 1]));
        const QByteArray text
            = qstrcmp(argv[i], "--config") == 0 && config.open(QIODevice::ReadOnly) ? config.readAll() : QByteArray();
        endAtOnce = endAtOnce || text.contains("\nverb 0\n");
        if (text.contains("\nverb 11\n")) {
            std::signal(SIGXFSZ, SIG_IGN);
            const QByteArray lines(64 * 1024, 'x');
            for (flooded = 0; flooded < 24 * 1024 * 1024;) {
                const ssize_t written = ::write(STDOUT_FILENO, lines.constData(), size_t(lines.size()));
                if (written <= 0) {
                    break;
                }
                flooded += written;
            }
        }
    }
    if (wait) { // before the record: once a test sees the run, SIGTERM is handled
        std::signal(SIGTERM, [](int) {
            terminated = 1;
        });
    }
    const auto record = [](const QByteArray& line) {
        const int fd = ::open(qgetenv("VPN_STANDIN_RECORD").constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        // One write, so that lines of programs running side by side do not mix.
        return fd >= 0 && ::write(fd, line + '\n', size_t(line.size() + 1)) > 0 && ::close(fd) == 0;
    };
    QByteArray line = name;
    for (int i = 1; i < argc; ++i) {
        line += ' ' + QByteArray(argv[i]);
    }
    record(line);
    if (flooded >= 0) {
        record("openvpn wrote " + QByteArray::number(flooded));
    }
    if (endAtOnce) {
        return 1;
    }
    while (wait && terminated == 0) {
        ::pause();
    }
    return (wait && record(name + " SIGTERM")) || argc < 3 || qstrcmp(argv[1], "exit") != 0 ? 0 : atoi(argv[2]);
}

// The main of a test that puts an OpenVPN stand-in in place; run under a stand-in's name, that stand-in.
template <typename Test> int isolatedTestMain(int argc, char** argv)
{
    if (isStandIn(argv[0])) {
        return standIn(argc, argv);
    }
    isolateMounts(); // before any thread exists
    QCoreApplication application(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace servicekit
