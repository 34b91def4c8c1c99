#pragma once

#include "peeruser.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>

#include <functional>
#include <memory>

class QTimer;
class QWebSocket;

// A client's connection to the service, with the commands it sent that wait for their turn.
struct ServiceClient
{
    QPointer<QWebSocket> socket;
    PeerUser user;
    QString who; // for the log
    QQueue<QString> queue;
    // Disconnected; stays listed until its queue is done.
    bool gone = false;
    // A command under way (OpenVPN's files being read, the tools of a reset): its next commands wait.
    bool busy = false;
};
using ClientPointer = std::shared_ptr<ServiceClient>;

// Serves the clients' commands one user at a time in turn, whatever the number of its
// connections, and lets a user who used up its share of the service's time wait, so that no user's
// commands can starve another's. Root waits for nobody.
class CommandScheduler : public QObject
{
    Q_OBJECT

public:
    using Execute = std::function<void(const ClientPointer& client, const QString& message)>;

    explicit CommandScheduler(const Execute& execute, QObject* parent = nullptr);

    void add(const ClientPointer& client);
    // False when the client's commands wait already at the limit: the message is dropped.
    bool enqueue(const ClientPointer& client, const QString& message);
    // The commands it sent before it went still run.
    void disconnected(const ClientPointer& client);
    // Until the returned function is called the client's next commands wait.
    std::function<void()> hold(const ClientPointer& client);
    // In the order of the next turn; gone clients with commands left included.
    const QList<ClientPointer>& clients() const;

    // Commands of one client waiting for their turn; more are dropped.
    static constexpr int maxQueued = 32;
    // The service's time one user's commands may take: a burst, then this share of each second.
    static constexpr double budgetBurstMs = 50;
    static constexpr double budgetShare = 0.25;

private:
    // The service's time a user's commands took lately, in milliseconds, draining at budgetShare.
    struct Budget
    {
        double spentMs = 0;
        QElapsedTimer drained;
    };

    void scheduleDispatch();
    void dispatch();
    bool withinBudget(const QString& user);
    void charge(const PeerUser& user, double milliseconds);

    Execute execute;
    QList<ClientPointer> list;
    bool dispatchScheduled = false;
    QHash<QString, Budget> budgets;
    QTimer* budgetRetry = nullptr;
};
