#pragma once

#include <QObject>
#include <QProcess>

// Owns one process and reduces its outcome to yes or no, logging why a run failed.
class ChildProcess : public QObject
{
    Q_OBJECT

public:
    explicit ChildProcess(QObject* parent = nullptr);
    ~ChildProcess() override;

    static QString errorText(QProcess::ProcessError error);

    // How long destruction waits for a running process before it is killed (10000 ms).
    void setFinishWaitMs(int ms);

    // Started, fed and read by the owner.
    QProcess process;

signals:
    void processFinished(bool success);

protected slots:
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);

private:
    int finishWaitMs = 10000;
};
