#pragma once

#include <QDebug>
#include <QString>

// Every log line of the client reads "Tag: text" with nothing added between the parts:
//     tagged(qInfo(), objectName()) << "Started " << pid;
inline QDebug tagged(QDebug stream, const QString& tag)
{
    stream.noquote().nospace() << tag << ": ";
    return stream;
}
