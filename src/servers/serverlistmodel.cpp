#include "serverlistmodel.h"

#include "foundation/logtag.h"
#include "servers/countrynames.h"
#include "servers/flagimage.h"
#include "servers/serverlatency.h"
#include "settings/settings.h"

ServerListModel::ServerListModel(QObject* parent)
    : QAbstractListModel(parent)
{
    setObjectName(QStringLiteral("ServerListModel"));
    connect(Settings::instance(), &Settings::favouriteServersChanged, this, [this] {
        if (!servers.isEmpty()) {
            emit dataChanged(index(0), index(servers.size() - 1), { Favourite });
        }
    });
}

int ServerListModel::rowCount(const QModelIndex& parent) const
{
    // Rows have no children; counting the rows under one would make views recurse into a list.
    return parent.isValid() ? 0 : servers.size();
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= servers.size()) {
        return QVariant();
    }
    const Server& server = servers.at(index.row());
    switch (role) {
    case Id:
        return server.id;
    case Country:
        return server.country;
    case City:
        return server.city;
    case Name:
        return server.name;
    case Capacity:
        return strength(server.capacity);
    case CountryFlagSource:
        return Utils::flagImagePath(server.country);
    case CountryName:
        return CountryNames::name(server.country);
    case Favourite:
        return Settings::instance()->favouriteServers().contains(favouriteKey(server));
    case Summary:
        return summary(server);
    case RoundTrip:
        return roundTrips.value(server.ip, -1);
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ServerListModel::roleNames() const
{
    static const QHash<int, QByteArray> names {
        { Id, "Id" },
        { Country, "Country" },
        { City, "City" },
        { Name, "Name" },
        { Capacity, "Capacity" },
        { CountryFlagSource, "CountryFlagSource" },
        { CountryName, "CountryName" },
        { Favourite, "Favourite" },
        { Summary, "Summary" },
        { RoundTrip, "RoundTrip" },
    };
    return names;
}

int ServerListModel::strength(qint32 capacity)
{
    if (capacity < 0) {
        return 0;
    }
    if (capacity <= 55) {
        return 3;
    }
    if (capacity <= 75) {
        return 2;
    }
    return 1;
}

QString ServerListModel::favouriteKey(const Server& server)
{
    return server.name.isEmpty() ? server.ip : server.name;
}

QString ServerListModel::summary(const Server& server) const
{
    QString load;
    switch (strength(server.capacity)) {
    case 1:
        load = tr("heavy load");
        break;
    case 2:
        load = tr("medium load");
        break;
    case 3:
        load = tr("light load");
        break;
    default:
        load = tr("load unknown");
        break;
    }
    QStringList parts { CountryNames::name(server.country), server.city, load };
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
}

const Server* ServerListModel::chosenServer() const
{
    for (const Server& server : servers) {
        if (server.id == chosenId) {
            return &server;
        }
    }
    return nullptr;
}

int ServerListModel::chosenRow() const
{
    for (int row = 0; row < servers.size(); ++row) {
        if (servers.at(row).id == chosenId) {
            return row;
        }
    }
    return -1;
}

int ServerListModel::quickestServerId() const
{
    return ServerLatency::pickQuickest(servers, roundTrips);
}

bool ServerListModel::chooseQuickest()
{
    const int id = quickestServerId();
    if (id < 0) {
        return false;
    }
    tagged(qInfo(), objectName()) << "Quickest location: server " << id;
    updateCurrentServer(id);
    return true;
}

const Servers& ServerListModel::serverList() const
{
    return servers;
}

void ServerListModel::setRoundTrip(const QString& address, int milliseconds)
{
    if (milliseconds < 0) {
        roundTrips.remove(address);
    } else {
        roundTrips.insert(address, milliseconds);
    }
    for (int row = 0; row < servers.size(); ++row) {
        if (servers.at(row).ip == address) {
            emit dataChanged(index(row), index(row), { RoundTrip });
        }
    }
}

QString ServerListModel::serverIp() const
{
    const Server* server = chosenServer();
    return server != nullptr ? server->ip : QString();
}

QString ServerListModel::locationText() const
{
    const Server* server = chosenServer();
    if (server != nullptr) {
        return QStringLiteral("%1, %2").arg(server->country, server->city);
    }
    return listUnavailable ? tr("Server list unavailable") : tr("Not selected");
}

QString ServerListModel::locationImageSource() const
{
    const Server* server = chosenServer();
    return server != nullptr ? Utils::flagImagePath(server->country) : QString();
}

bool ServerListModel::isEmpty() const
{
    return !servers.isEmpty();
}

bool ServerListModel::unavailable() const
{
    return listUnavailable;
}

void ServerListModel::setUnavailable(bool unavailable)
{
    if (listUnavailable == unavailable) {
        return;
    }
    listUnavailable = unavailable;
    emit unavailableChanged(listUnavailable);
    emit locationTextChanged(locationText());
}

void ServerListModel::updateServerList(const Servers& serverList)
{
    tagged(qInfo(), objectName()) << "Update server list";
    if (!servers.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, servers.size() - 1);
        servers.clear();
        endRemoveRows();
    }
    if (!serverList.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, serverList.size() - 1);
        servers = serverList;
        endInsertRows();
    }
    emit isEmptyChanged(!servers.isEmpty());
    updateCurrentServer(Settings::instance()->currentServerId());
    emit listUpdated();
}

void ServerListModel::updateCurrentServer(int serverId)
{
    if (serverId < 0 || serverId >= servers.size()) {
        return;
    }
    chosenId = serverId;
    Settings* settings = Settings::instance();
    settings->setCurrentServerId(serverId);
    settings->save();
    emit locationTextChanged(locationText());
    emit locationImageSourceChanged(locationImageSource());
    emit serverIpChanged(serverIp());
}

void ServerListModel::setFavourite(int serverId, bool favourite)
{
    if (serverId < 0 || serverId >= servers.size()) {
        return;
    }
    const QString key = favouriteKey(servers.at(serverId));
    Settings* settings = Settings::instance();
    QStringList favourites = settings->favouriteServers();
    if (favourites.contains(key) == favourite || key.isEmpty()) {
        return;
    }
    if (favourite) {
        favourites << key;
    } else {
        favourites.removeAll(key);
    }
    settings->setFavouriteServers(favourites);
    settings->save();
}
