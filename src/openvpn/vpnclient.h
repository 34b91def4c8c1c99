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

    explicit VpnClient(QObject* parent = nullptr);

    static QString stateName(int state, bool quoted);

signals:
    void assignedInternalIp(QString ip);
    void byteCountChanged(quint64 receive, quint64 send);
    void stateChanged(int state, QString additionalData, bool critical);
    void dnsServerAddressesPushed(QString dnsServerIpv4Address, QString dnsServerIpv6Address);
    void processFinished(int exitCode);
};
