#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

// Runs one command without blocking the GUI thread, within the limits Utils::runCommand keeps:
// timeoutMs for the start and as long again for the end; a command still running then is killed,
// and what it printed until then counts.
class CommandRun : public QObject
{
    Q_OBJECT

public:
    CommandRun(const QString& program, const QStringList& arguments, int timeoutMs,
        QProcess::ProcessChannelMode channels = QProcess::SeparateChannels, QObject* parent = nullptr);
    ~CommandRun() override;

    // Starts the command; a run already under way is left to finish.
    void start();
    bool isRunning() const;

signals:
    // What the command printed (decoded whole) and its exit code; also when it failed to start.
    void finished(const QString& output, int exitCode);

private:
    void onStarted();
    void onErrorOccurred(QProcess::ProcessError error);
    void finish();

    QProcess process;
    QTimer limit;
    QString program;
    QStringList arguments;
    bool running = false;
};
