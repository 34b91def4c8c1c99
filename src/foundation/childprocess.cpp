#include "childprocess.h"

#include "foundation/logtag.h"

ChildProcess::ChildProcess(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("ChildProcess"));
    connect(&process, &QProcess::errorOccurred, this, &ChildProcess::onErrorOccurred);
    connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, &ChildProcess::onFinished);
}

ChildProcess::~ChildProcess()
{
    // The owner is going away: no more signals to it while the process winds down.
    process.disconnect(this);
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(finishWaitMs)) {
        process.kill();
        process.waitForFinished(finishWaitMs);
    }
}

void ChildProcess::setFinishWaitMs(int ms)
{
    finishWaitMs = ms;
}

QString ChildProcess::errorText(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return QStringLiteral("failed to start");
    case QProcess::Crashed:
        return QStringLiteral("crashed");
    case QProcess::Timedout:
        return QStringLiteral("timed out");
    case QProcess::ReadError:
        return QStringLiteral("read error");
    case QProcess::WriteError:
        return QStringLiteral("write error");
    case QProcess::UnknownError:
        return QStringLiteral("unknown error");
    }
    return QString();
}

void ChildProcess::onErrorOccurred(QProcess::ProcessError error)
{
    tagged(qWarning(), objectName()) << "Error occured: " << errorText(error);
}

void ChildProcess::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    emit processFinished(exitCode == 0 && exitStatus == QProcess::NormalExit);
}
