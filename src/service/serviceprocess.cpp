#include "serviceprocess.h"

#include "foundation/logtag.h"
#include "protocol/serviceprotocol.h"
#include "servicelink.h"
#include "servicemessage.h"

ServiceProcess::ServiceProcess(const QString& name, ServiceLink* link, QObject* parent)
    : QObject(parent)
    , link(link)
    , processName(name)
{
    setObjectName(QStringLiteral("ServiceProcess"));
    connect(link, &ServiceLink::processOutput, this, &ServiceProcess::onProcessOutput);
    connect(link, &ServiceLink::disconnected, this, &ServiceProcess::onLinkDown);
}

void ServiceProcess::start(const QStringList& arguments)
{
    start(startCommand(arguments));
}

QString ServiceProcess::startCommand(const QStringList& arguments)
{
    return ServiceProtocol::startCommand(arguments);
}

void ServiceProcess::start(const QString& command)
{
    link->sendCommand(command);
    ++unansweredStarts;
    if (replacesRuns) {
        currentPid = 0;
    }
    processState = Starting;
}

void ServiceProcess::stop(const QString& command)
{
    link->sendCommand(command);
}

int ServiceProcess::state() const
{
    return processState;
}

QString ServiceProcess::name() const
{
    return processName;
}

void ServiceProcess::onProcessOutput(const QString& output)
{
    const ServiceMessage message = ServiceMessage::parse(output);
    if (message.kind == ServiceMessage::None || message.processName != processName) {
        return;
    }
    const int code = static_cast<int>(message.code);
    if (message.kind == ServiceMessage::Finished) {
        if (!runningPids.remove(message.pid)) {
            return;
        }
        if (replacesRuns && message.pid != currentPid) {
            emit replacedRunFinished(code);
            return;
        }
        currentPid = 0;
        // The signal goes out before the state changes: listeners see the run as still running.
        emit finished(code);
        if (unansweredStarts == 0 && runningPids.isEmpty()) {
            processState = NotRunning;
        }
        return;
    }
    if (unansweredStarts == 0) {
        return; // no start of ours is waiting for it
    }
    const bool latest = --unansweredStarts == 0;
    const bool running = message.code == 0 && message.pid != 0;
    if (running) {
        runningPids.insert(message.pid);
    }
    if (replacesRuns && !latest) {
        return; // replaced before it was reported; its end will be a replaced run's
    }
    if (!running) {
        if (unansweredStarts == 0 && runningPids.isEmpty()) {
            processState = NotRunning;
        }
        emit error(code);
        return;
    }
    currentPid = message.pid;
    processState = Running;
    emit started();
}

void ServiceProcess::onLinkDown()
{
    const bool active = processState != NotRunning;
    unansweredStarts = 0;
    runningPids.clear();
    currentPid = 0;
    processState = NotRunning;
    if (active) {
        emit lost();
    }
}
