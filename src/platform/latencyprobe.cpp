#include "latencyprobe.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpSocket>

LatencyProbe::LatencyProbe(QObject* parent)
    : QObject(parent)
{
    deadline.setSingleShot(true);
}

LatencyProbe::~LatencyProbe()
{
    stopEcho();
}

void LatencyProbe::measure(const QString& address, quint16 tcpPort, int timeoutMs)
{
    if (running) {
        return;
    }
    target = address;
    port = tcpPort;
    limitMs = timeoutMs;
    running = true;
    clock.start();
    // Only an address: a name would be asked of the resolver, outside any tunnel.
    if (QHostAddress(address).isNull()) {
        QTimer::singleShot(0, this, [this] {
            done(-1, TcpConnect);
        });
        return;
    }
    if (startEcho()) {
        // An echo nobody answers (a server that drops ICMP) leaves the other half to the TCP connect.
        deadline.disconnect();
        connect(&deadline, &QTimer::timeout, this, [this] {
            stopEcho();
            startTcp(limitMs - static_cast<int>(clock.elapsed()));
        });
        deadline.start(limitMs / 2);
        return;
    }
    startTcp(limitMs);
}

void LatencyProbe::startTcp(int timeoutMs)
{
    clock.start();
    tcp = new QTcpSocket(this);
    connect(tcp, &QTcpSocket::connected, this, [this] {
        done(static_cast<int>(clock.elapsed()), TcpConnect);
    });
    // Refused counts as no answer: nothing serves there.
    connect(tcp, &QTcpSocket::errorOccurred, this, [this] {
        done(-1, TcpConnect);
    });
    deadline.disconnect();
    connect(&deadline, &QTimer::timeout, this, [this] {
        done(-1, TcpConnect);
    });
    deadline.start(qMax(timeoutMs, 1));
    tcp->connectToHost(QHostAddress(target), port);
}

void LatencyProbe::done(int milliseconds, Method method)
{
    if (!running) {
        return;
    }
    running = false;
    deadline.stop();
    deadline.disconnect();
    stopEcho();
    if (tcp != nullptr) {
        tcp->disconnect(this);
        tcp->abort();
        tcp->deleteLater();
    }
    emit finished(target, milliseconds, method);
}
