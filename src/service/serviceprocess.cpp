#include "serviceprocess.h"

#include "app/logtag.h"
#include "app/utils.h"
#include "servicecontroller.h"
#include "servicemessage.h"

ServiceProcess::ServiceProcess(const QString& name, QObject* parent)
    : QObject(parent)
    , processName(name)
{
    setObjectName(QStringLiteral("ServiceProcess"));
    ServiceController* controller = ServiceController::instance();
    if (controller == nullptr) {
        // The controller must exist first; without it this process never hears from the service.
        tagged(qCritical(), objectName()) << "No service link for process " << name;
        return;
    }
    connect(controller, &ServiceController::processOutput, this, &ServiceProcess::onProcessOutput, Qt::AutoConnection);
}

void ServiceProcess::start(const QStringList& arguments)
{
    start(startCommand(arguments));
}

QString ServiceProcess::startCommand(const QStringList& arguments)
{
    QStringList quotedArguments;
    quotedArguments.reserve(arguments.size());
    for (const QString& argument : arguments) {
        quotedArguments.append(Utils::quoted(argument));
    }
    return QStringLiteral("start: %1").arg(quotedArguments.join(QLatin1Char(' ')));
}

void ServiceProcess::start(const QString& command)
{
    if (ServiceController* controller = ServiceController::instance()) {
        controller->sendCommand(command);
    }
    processState = Starting;
}

void ServiceProcess::stop(const QString& command)
{
    if (ServiceController* controller = ServiceController::instance()) {
        controller->sendCommand(command);
    }
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
    // Signals go out before the state changes: listeners see the previous state.
    if (message.kind == ServiceMessage::Finished) {
        emit finished(static_cast<int>(message.code));
        processState = NotRunning;
    } else if (message.code != 0) {
        emit error(static_cast<int>(message.code));
        processState = NotRunning;
    } else {
        emit started();
        processState = Running;
    }
}
