#pragma once

#include <QString>
#include <QtGlobal>

// One status line of vpn-service: "started:PID,CODE,NAME" or "finished:PID,EXITCODE,NAME".
// Only the second field (the number) and the last field (the process name) are read.
struct ServiceMessage
{
    enum Kind
    {
        None = 0,
        Started = 1,
        Finished = 2
    };

    Kind kind = None;
    quint32 code = 0;
    QString processName;

    static ServiceMessage parse(const QString& message);
};
