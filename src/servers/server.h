#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One VPN server of the provider's feed. The list keeps copies.
struct Server
{
    Server() = default;
    Server(qint32 id, const QString& country, const QString& city, const QString& name, const QString& ip,
        qint32 capacity);

    QString city;
    QString country;
    QString ip;
    QString name;
    // Position among the accepted servers of the feed, from 0; a stored id names a position.
    qint32 id = -1;
    qint32 capacity = 0;
};

using Servers = QList<Server>;

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(Servers)
