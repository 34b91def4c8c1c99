#include "commandrun.h"

CommandRun::CommandRun(const QString& program, const QStringList& arguments, int timeoutMs,
    QProcess::ProcessChannelMode channels, QObject* parent)
    : QObject(parent)
    , program(program)
    , arguments(arguments)
{
    setObjectName(QStringLiteral("CommandRun"));
    process.setProcessChannelMode(channels);
    limit.setSingleShot(true);
    limit.setInterval(timeoutMs);
    connect(&limit, &QTimer::timeout, this, [this] {
        if (process.state() == QProcess::NotRunning) {
            return;
        }
        // Killed, it still reports its end, and with it what it printed.
        process.kill();
    });
    connect(&process, &QProcess::started, this, &CommandRun::onStarted);
    connect(&process, &QProcess::errorOccurred, this, &CommandRun::onErrorOccurred);
    connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, &CommandRun::finish);
}

CommandRun::~CommandRun()
{
    process.disconnect(this);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(limit.interval());
    }
}

void CommandRun::start()
{
    if (running) {
        return;
    }
    running = true;
    limit.start();
    process.start(program, arguments, QIODevice::ReadWrite);
}

bool CommandRun::isRunning() const
{
    return running;
}

void CommandRun::onStarted()
{
    // The end gets the same time again from here.
    limit.start();
}

void CommandRun::onErrorOccurred(QProcess::ProcessError error)
{
    // Only a failed start ends a run without the finished signal.
    if (error == QProcess::FailedToStart) {
        finish();
    }
}

void CommandRun::finish()
{
    if (!running) {
        return;
    }
    running = false;
    limit.stop();
    const QByteArray output = process.readAllStandardOutput();
    // All of it: QString::fromUtf8(QByteArray) would stop at a stray NUL byte.
    emit finished(QString::fromUtf8(output.constData(), output.size()), process.exitCode());
}
