#pragma once
// Shared by the OpenVPN and connection tests: the client's and the controller's protected slots, a log
// capture, a signal recorder and a real vpn-service copied beside the test, with the system's OpenVPN
// or a stand-in put over it.
#include "../service/servicekit.h"
#include "connection/vpncore.h"
#include "foundation/logger.h"
#include "openvpn/openvpnclient.h"
#include "service/servicecontroller.h"

#include <QLocalSocket>
#include <QMutex>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

class TestClient : public OpenVpnClient
{
public:
    using OpenVpnClient::connectToManagementInterface;
    using OpenVpnClient::onOpenVpnProcessFinished;
    using OpenVpnClient::onOpenVpnProcessStarted;
};

// The connection controller's slots, for the tests that play its tunnel's reports.
class VpnCoreProbe : public VpnCore
{
public:
    using VpnCore::onByteCountChanged;
    using VpnCore::onRequestCurrentIpAddressFinished;
    using VpnCore::onVpnConnectionStateChanged;
};

// Another program of the client's user on the management socket while the client is away: whatever it sends
// is taken for a wrong password. Returns what it heard, then "|closed" when OpenVPN hung up on it.
inline QByteArray strangerOnManagementInterface(const QString& socketPath)
{
    QLocalSocket stranger;
    stranger.connectToServer(socketPath);
    if (!stranger.waitForConnected(5000)) {
        return "no connection";
    }
    QByteArray heard;
    const auto hear = [&](int prompts) {
        return QTest::qWaitFor(
            [&] {
                heard += stranger.readAll();
                return heard.count("ENTER PASSWORD:") >= prompts || stranger.state() != QLocalSocket::ConnectedState;
            },
            5000);
    };
    int prompts = 0;
    for (const QByteArray& line : { QByteArray("signal SIGTERM\n"), QByteArray("\n"), QByteArray("hold release\n") }) {
        if (!hear(++prompts)) {
            break;
        }
        stranger.write(line);
    }
    const bool closed = QTest::qWaitFor(
        [&] {
            heard += stranger.readAll();
            return stranger.state() == QLocalSocket::UnconnectedState;
        },
        5000);
    return heard + (closed ? "|closed" : "|open");
}

// The log lines ("type<TAB>message") since the last clear(); capture() starts collecting.
namespace testlog {
inline QMutex mutex;
inline QStringList captured;
inline QStringList lines()
{
    QMutexLocker lock(&mutex);
    return captured;
}
inline int count(const QString& text)
{
    return lines().filter(text).size();
}
inline void clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}
inline void capture()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        static const char* const names[] = { "debug", "warning", "critical", "fatal", "info" };
        QMutexLocker lock(&mutex);
        captured << QLatin1String(names[type]) + QLatin1Char('\t') + message;
    });
}
} // namespace testlog

// Records the client's signals in order: "Connected", "Error text critical", "ip A", "dns A B",
// "bytes N M", "exit N".
inline void recordSignals(VpnClient* client, QStringList* events)
{
    QObject::connect(client, &VpnClient::stateChanged, [events](int state, const QString& text, bool critical) {
        *events << (VpnClient::stateName(state, false) + ' ' + text + (critical ? " critical" : "")).trimmed();
    });
    const auto record = [events](const char* kind) {
        return [events, kind](auto... values) {
            *events << QStringList { kind, QVariant(values).toString()... }.join(' ');
        };
    };
    QObject::connect(client, &VpnClient::assignedInternalIp, record("ip"));
    QObject::connect(client, &VpnClient::dnsServerAddressesPushed, record("dns"));
    QObject::connect(client, &VpnClient::byteCountChanged, record("bytes"));
    QObject::connect(client, &VpnClient::processFinished, record("exit"));
}

class ServiceFixture
{
public:
    ~ServiceFixture()
    {
        stop();
    }
    // Ends the service as a system shutdown would; it ends the programs it runs.
    void stop()
    {
        service.terminate();
        service.waitForFinished(10000);
    }
    void launch()
    {
        service.start(program(),
            { QStringLiteral("--log-file"), logFilePath(), QStringLiteral("--state-dir"), logFilePath() + ".state" });
    }
    // Where a stand-in keeps its files.
    static QString openVpnFolder()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/openvpn");
    }
    // Puts the service in place, and a stand-in over the system's OpenVPN unless openVpnProgram is that
    // one (needs root: see servicekit::isolateMounts), starts the service and connects to it; the
    // client's log files (and OpenVPN's) go to a private folder.
    void start(const QString& openVpnProgram, QObject* owner, ServiceController** controller)
    {
        qputenv("XDG_DATA_HOME", folder.path().toUtf8());
        Logger::instance();
        testlog::capture(); // after the logger's own handler
        QDir().mkpath(openVpnFolder());
        const QString standIn = openVpnFolder() + QStringLiteral("/openvpn");
        QFile::remove(program());
        QFile::remove(standIn);
        QVERIFY(QFile::copy(QStringLiteral(VPN_APP_DIR "/vpn-service"), program()));
        if (openVpnProgram != QLatin1String(ProgramConfig::openVpnProgram)
            && !(QFile::copy(openVpnProgram, standIn) && servicekit::placeOpenVpn(standIn))) {
            QSKIP("needs root for a mount namespace with the OpenVPN stand-in");
        }
        qputenv("FAKE_OPENVPN_DIR", openVpnFolder().toUtf8());
        service.setProcessChannelMode(QProcess::ForwardedChannels);
        launch();
        *controller = new ServiceController(owner);
        QSignalSpy connected(*controller, &ServiceController::connected);
        QVERIFY(connected.wait(10000));
    }

    QString logFilePath() const
    {
        return folder.filePath(QStringLiteral("service.log"));
    }

private:
    static QString program()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/vpn-service");
    }
    QTemporaryDir folder;
    QProcess service;
};
