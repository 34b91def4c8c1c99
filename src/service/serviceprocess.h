#pragma once

#include "processstate.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class ServiceLink;

// One program that vpn-service runs for the client, known by the name the service uses in its
// status lines ("openvpn", "killswitch", "dns"). Start and stop requests become commands on the
// service link; the service's status lines for this name become signals and a state.
//
// The service answers every start with one "started:" line, in the order of the starts, and ends
// every run it started with a "finished:" line carrying the same PID. So each "started:" line
// belongs to the oldest start still unanswered and a "finished:" line to the run with its PID;
// lines about runs that are not ours are ignored.
class ServiceProcess : public QObject
{
    Q_OBJECT

public:
    ServiceProcess(const QString& name, ServiceLink* link, QObject* parent = nullptr);

    // Program path first, then its arguments.
    void start(const QStringList& arguments);
    int state() const;
    QString name() const;

    // "start: " followed by every argument in double quotes, separated by single blanks.
    static QString startCommand(const QStringList& arguments);

public slots:
    virtual void start(const QString& command);
    virtual void stop(const QString& command);

signals:
    // A start was refused or failed.
    void error(int error);
    // A run ended.
    void finished(int state);
    // A start is running.
    void started();
    // For a program of which one run at a time exists: a run that a later start replaced ended.
    void replacedRunFinished(int exitCode);
    // The link to the service dropped while a start was pending or a run going: the service ends
    // its programs when it goes, and no status line about them will come.
    void lost();

protected slots:
    void onProcessOutput(const QString& output);

protected:
    // The service ends a running program of this name before it starts the next one: only the run
    // of the latest start is reported; the end of one it replaced is no news.
    bool replacesRuns = false;

private:
    void onLinkDown();

    ServiceLink* const link;
    const QString processName;
    ProcessState processState = NotRunning;
    // Starts sent whose "started:" line has not come yet.
    int unansweredStarts = 0;
    // Our runs that the service reported started and not yet finished.
    QSet<qint64> runningPids;
    // With replacesRuns: the run of the latest start, once reported; 0 otherwise.
    qint64 currentPid = 0;
};
