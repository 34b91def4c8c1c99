#include "server.h"

Server::Server(
    qint32 id, const QString& country, const QString& city, const QString& name, const QString& ip, qint32 capacity)
    : city(city)
    , country(country)
    , ip(ip)
    , name(name)
    , id(id)
    , capacity(capacity)
{
    // The feed writes cities as "<country> <city>"; the list shows the city alone.
    // Without a country there is no prefix: removing a lone blank would glue the words together.
    if (!country.isEmpty()) {
        this->city.remove(country + QLatin1Char(' '), Qt::CaseSensitive);
    }
}
