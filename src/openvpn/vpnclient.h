#pragma once

#include <QObject>
#include <QString>

// Base of a tunnel client: the signals through which it reports to the connection controller.
class VpnClient : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        Disconnected = 0,
        Connecting = 1,
        Disconnecting = 2,
        Connected = 3,
        Error = 4,
        Unknown = 5
    };
    Q_ENUM(State)

    // What an Error report means for the user: whom to blame and what to do next.
    enum Failure
    {
        OtherFailure = 0,
        // The provider refused the user name or password.
        CredentialsRejected = 1,
        // No tunnel came up in time: the server did not answer.
        ServerSilent = 2
    };
    Q_ENUM(Failure)

    explicit VpnClient(QObject* parent = nullptr);

    static QString stateName(int state, bool quoted);

signals:
    void assignedInternalIp(QString ip);
    void byteCountChanged(quint64 receive, quint64 send);
    void stateChanged(VpnClient::State state, QString additionalData, bool critical);
    // Sent just before the Error state report it explains.
    void failed(VpnClient::Failure failure);
    void dnsServerAddressesPushed(QString dnsServerIpv4Address, QString dnsServerIpv6Address);
    void processFinished(int exitCode);
};
