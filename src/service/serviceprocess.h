#pragma once

#include "processstate.h"

#include <QObject>
#include <QString>
#include <QStringList>

// One program that vpn-service runs for the client, known by the name the service uses in its
// status lines ("openvpn", "killswitch", "dns"). Start and stop requests become commands on the
// service link; the service's status lines for this name become signals and a state.
class ServiceProcess : public QObject
{
    Q_OBJECT

public:
    ServiceProcess(const QString& name, QObject* parent = nullptr);

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
    void error(int error);
    void finished(int state);
    void started();

protected slots:
    void onProcessOutput(const QString& output);

private:
    const QString processName;
    ProcessState processState = NotRunning;
};
