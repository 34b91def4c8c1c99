#pragma once
// Shared by the OpenVPN client's tests: its protected slots, its signals recorded in order, and a
// stranger on its management socket.
#include "openvpn/openvpnclient.h"

#include <QLocalSocket>
#include <QTcpSocket>
#include <QtTest>

class TestClient : public OpenVpnClient
{
public:
    using OpenVpnClient::connectToManagementInterface;
    using OpenVpnClient::onOpenVpnProcessStarted;
    using OpenVpnClient::OpenVpnClient;
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
