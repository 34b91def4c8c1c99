#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QSocketNotifier;
class QTcpSocket;

// The round trip to one host, measured without privileges and without a name lookup (addresses
// only). Linux: an ICMP echo over a datagram ping socket where net.ipv4.ping_group_range lets this
// user open one; otherwise, and when the echo goes unanswered for half the time, a TCP connect to
// the given port. Windows: the TCP connect only.
class LatencyProbe : public QObject
{
    Q_OBJECT

public:
    enum Method
    {
        Echo,
        TcpConnect
    };
    Q_ENUM(Method)

    explicit LatencyProbe(QObject* parent = nullptr);
    ~LatencyProbe() override;

    // One measurement; finished follows exactly once (also for an address that is not one), with
    // -1 when nothing answered within timeoutMs. Virtual for the tests' stand-ins.
    virtual void measure(const QString& address, quint16 tcpPort, int timeoutMs);

    // Whether this system lets this user send an echo over a ping socket of the address's family.
    static bool echoAllowed(bool ipv6 = false);

signals:
    void finished(const QString& address, int milliseconds, LatencyProbe::Method method);

private:
    // The system's side: false when no echo could be sent (not allowed, or no such socket).
    bool startEcho();
    void readEcho();
    void stopEcho();
    void startTcp(int timeoutMs);
    void done(int milliseconds, Method method);

    QString target;
    quint16 port = 0;
    int limitMs = 0;
    QElapsedTimer clock;
    QTimer deadline;
    int echoSocket = -1;
    quint16 sequence = 0;
    QPointer<QSocketNotifier> echoNotifier;
    QPointer<QTcpSocket> tcp;
    bool running = false;
};
