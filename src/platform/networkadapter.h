#pragma once

#include <QList>
#include <QString>

// One TAP adapter of the VPN driver.
struct NetworkAdapter
{
    QString name;
    qint32 index = 0;
};

using NetworkAdapters = QList<NetworkAdapter>;
