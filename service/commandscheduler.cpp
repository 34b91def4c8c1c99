#include "commandscheduler.h"

#include "serviceprocess.h"

#include <QTimer>

CommandScheduler::CommandScheduler(const Execute& executeCommand, QObject* parent)
    : QObject(parent)
    , execute(executeCommand)
{
    budgetRetry = new QTimer(this);
    budgetRetry->setSingleShot(true);
    connect(budgetRetry, &QTimer::timeout, this, &CommandScheduler::scheduleDispatch);
}

void CommandScheduler::add(const ClientPointer& client)
{
    list.append(client);
}

const QList<ClientPointer>& CommandScheduler::clients() const
{
    return list;
}

bool CommandScheduler::enqueue(const ClientPointer& client, const QString& message)
{
    if (client->queue.size() >= maxQueued) {
        return false;
    }
    client->queue.enqueue(message);
    scheduleDispatch();
    return true;
}

void CommandScheduler::disconnected(const ClientPointer& client)
{
    client->gone = true;
    if (client->queue.isEmpty() && !client->busy) {
        list.removeAll(client);
    }
}

void CommandScheduler::scheduleDispatch()
{
    if (!dispatchScheduled) {
        dispatchScheduled = true;
        QTimer::singleShot(0, this, &CommandScheduler::dispatch);
    }
}

void CommandScheduler::dispatch()
{
    dispatchScheduled = false;
    // One command of each user per turn, then back to the event loop: a user with a long queue
    // or many connections never holds up the others' commands or their connections.
    const QList<ClientPointer> turn = list;
    QStringList served;
    bool waitingForBudget = false;
    for (const ClientPointer& client : turn) {
        if (client->queue.isEmpty() || client->busy || served.contains(client->user.id) || !list.contains(client)) {
            continue;
        }
        if (!withinBudget(client->user.id)) {
            waitingForBudget = true;
            continue;
        }
        served.append(client->user.id);
        // The user's next turn begins with its other connections.
        list.removeAll(client);
        list.append(client);
        const double before = ServiceProcess::threadCpuMs();
        execute(client, client->queue.dequeue());
        charge(client->user, ServiceProcess::threadCpuMs() - before);
    }
    for (const ClientPointer& client : turn) {
        if (client->gone && client->queue.isEmpty() && !client->busy) {
            list.removeAll(client);
        } else if (!client->queue.isEmpty() && !client->busy && served.contains(client->user.id)) {
            scheduleDispatch();
        }
    }
    if (waitingForBudget && !budgetRetry->isActive()) {
        budgetRetry->start(qRound(budgetBurstMs));
    }
}

bool CommandScheduler::withinBudget(const QString& user)
{
    auto found = budgets.find(user);
    if (found == budgets.end()) {
        return true;
    }
    found->spentMs = qMax(0.0, found->spentMs - double(found->drained.restart()) * budgetShare);
    if (found->spentMs <= 0) {
        budgets.erase(found);
        return true;
    }
    return found->spentMs < budgetBurstMs;
}

void CommandScheduler::charge(const PeerUser& user, double milliseconds)
{
    if (user.isRoot()) {
        return; // root waits for nobody
    }
    Budget& budget = budgets[user.id];
    if (!budget.drained.isValid()) {
        budget.drained.start();
    }
    budget.spentMs += milliseconds;
}

std::function<void()> CommandScheduler::hold(const ClientPointer& client)
{
    client->busy = true;
    const std::weak_ptr<ServiceClient> weak = client;
    return [this, weak] {
        if (ClientPointer strong = weak.lock()) {
            strong->busy = false;
            if (strong->gone && strong->queue.isEmpty()) {
                list.removeAll(strong);
            }
            scheduleDispatch();
        }
    };
}
