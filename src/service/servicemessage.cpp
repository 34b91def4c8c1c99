#include "servicemessage.h"

#include "protocol/serviceprotocol.h"

#include <QStringList>

ServiceMessage ServiceMessage::parse(const QString& message)
{
    ServiceMessage result;
    QString prefix;
    if (message.startsWith(ServiceProtocol::startedPrefix)) {
        result.kind = Started;
        prefix = ServiceProtocol::startedPrefix;
    } else if (message.startsWith(ServiceProtocol::finishedPrefix)) {
        result.kind = Finished;
        prefix = ServiceProtocol::finishedPrefix;
    } else {
        return result;
    }

    QString rest = message;
    rest.remove(prefix, Qt::CaseSensitive);
    const QStringList fields = rest.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (fields.size() >= 2) {
        bool ok = false;
        const qint64 pid = fields.at(0).trimmed().toLongLong(&ok, 10);
        result.pid = ok && pid > 0 ? pid : 0;
        const uint number = fields.at(1).trimmed().toUInt(&ok, 10);
        result.code = ok ? number : 0;
    }
    result.processName = fields.isEmpty() ? QString() : fields.last();
    return result;
}
