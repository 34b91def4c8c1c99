#include "vpnclient.h"

VpnClient::VpnClient(QObject* parent)
    : QObject(parent)
{ }

QString VpnClient::stateName(int state, bool quoted)
{
    QString name;
    switch (state) {
    case Disconnected:
        name = QStringLiteral("Disconnected");
        break;
    case Connecting:
        name = QStringLiteral("Connecting");
        break;
    case Disconnecting:
        name = QStringLiteral("Disconnecting");
        break;
    case Connected:
        name = QStringLiteral("Connected");
        break;
    case Error:
        name = QStringLiteral("Error");
        break;
    default:
        name = QStringLiteral("Unknown");
        break;
    }
    return quoted ? QStringLiteral("'%1'").arg(name) : name;
}
