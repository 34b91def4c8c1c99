#pragma once

#include <QString>
#include <QtGlobal>

// One status line of vpn-service: "started:PID,CODE,NAME" or "finished:PID,EXITCODE,NAME". The PID
// ties the line to the run it concerns (0 when nothing was started).
struct ServiceMessage
{
    enum Kind
    {
        None = 0,
        Started = 1,
        Finished = 2
    };

    Kind kind = None;
    qint64 pid = 0;
    quint32 code = 0;
    QString processName;

    static ServiceMessage parse(const QString& message);
};
