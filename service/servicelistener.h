#pragma once

#include "peeruser.h"

#include <QHash>
#include <QObject>

class QSocketNotifier;
class QTcpSocket;
class UserLog;

// Accepts the TCP connections of 127.0.0.1:6447 itself, before any WebSocket byte is read: a
// peer whose user may not command the service, or whose user (or everybody together) already
// holds as many connections as allowed, is closed at once. An admitted connection has a few
// seconds to complete its handshake. A burst of connections is taken a few at a time, so that the
// service goes on serving its clients in between.
class ServiceListener : public QObject
{
    Q_OBJECT

public:
    ServiceListener(UserLog* refusals, QObject* parent = nullptr);
    ~ServiceListener() override;

    // Takes the socket systemd holds for the service where it passed one, else binds the port.
    bool listen(quint16 port);
    bool socketActivated() const;
    QString errorString() const;
    int openConnections() const;
    // Whether the user may still command the service (membership asked again, cached briefly).
    bool mayCommand(const PeerUser& user, QString* reason);

    // Connections (in handshake or open) held at once: the descriptor limit of the service's
    // unit leaves room above these for the programs' pipes and the log.
    static constexpr int maxPerUser = 8;
    static constexpr int maxTotal = 64;
    // Of those, kept for root: other users together never take the last ones.
    static constexpr int rootReserved = 4;
    static constexpr int handshakeDeadlineMs = 3000;
    // A deep queue of connections the kernel completes before the service takes them: a burst
    // of refused connections must not make a client's connection wait for a retransmitted SYN.
    static constexpr int backlog = 1024;
    // Connections taken per turn of the event loop.
    static constexpr int acceptsPerTurn = 16;

signals:
    // The socket is the listener's child until the WebSocket server takes it over.
    void admitted(QTcpSocket* socket, const PeerUser& user);

private:
    void acceptSome();
    // askedAgain: the owner was unknown at first, and the peer has sent since (or its time is up).
    void admit(qintptr descriptor, bool askedAgain = false);
    void awaitFirstBytes(qintptr descriptor);
    void refuse(qintptr descriptor, const QString& key, const QString& who, const QString& reason);

    UserLog* refusals;
    AuthorizationCache authorizations;
    qintptr listening = -1;
    bool activated = false;
    QSocketNotifier* notifier = nullptr;
    QString error;
    QHash<QString, int> perUser;
    // Connections whose owner is asked again once they have sent, with the notifier that waits.
    QHash<qintptr, QSocketNotifier*> awaiting;
    int total = 0;
};
