#pragma once

#include "servers/server.h"

#include <QAbstractListModel>
#include <QHash>
#include <QString>

// The provider's servers as a QML list model, and the server the user has chosen; the choice
// is kept in the settings and restored whenever a new list arrives.
class ServerListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(QString serverIp READ serverIp NOTIFY serverIpChanged)
    Q_PROPERTY(QString locationText READ locationText NOTIFY locationTextChanged)
    Q_PROPERTY(QString locationImageSource READ locationImageSource NOTIFY locationImageSourceChanged)
    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)
    // The list could not be had at the last try (and is being asked for again).
    Q_PROPERTY(bool unavailable READ unavailable NOTIFY unavailableChanged)

public:
    enum ProxyRoles
    {
        Id = Qt::UserRole,
        Country,
        City,
        Name,
        Capacity,
        CountryFlagSource,
        // The country's name in the language in use.
        CountryName,
        Favourite,
        // Country, city and load in words, for a screen reader.
        Summary,
        // The last measured round trip in milliseconds, -1 while there is none.
        RoundTrip
    };
    Q_ENUM(ProxyRoles)

    explicit ServerListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString serverIp() const;
    QString locationText() const;
    QString locationImageSource() const;
    // True while the list holds servers: the server list window shows its rows when this is true.
    bool isEmpty() const;
    bool unavailable() const;
    void setUnavailable(bool unavailable);

    // Signal strength of a load figure: 1 (busy) to 3 (light), 0 for no figure.
    static int strength(qint32 capacity);
    // What the favourites in the settings name a server by: the feed's name, which outlives the row's place
    // in the feed, or the address for a server without one.
    static QString favouriteKey(const Server& server);

    Q_INVOKABLE void updateCurrentServer(int serverId);
    // Marks or unmarks a server as a favourite; kept in the settings at once.
    Q_INVOKABLE void setFavourite(int serverId, bool favourite);
    // Row of the chosen server, -1 when none is chosen: where the list starts its keyboard selection.
    Q_INVOKABLE int chosenRow() const;
    // The server the quickest connection goes to now (ServerLatency::pickQuickest), -1 for none.
    Q_INVOKABLE int quickestServerId() const;
    // Chooses that server as the user's location; false when there is none.
    Q_INVOKABLE bool chooseQuickest();

    const Servers& serverList() const;

public slots:
    void updateServerList(const Servers& serverList);
    // A new figure for the server at this address; -1 takes the old one away.
    void setRoundTrip(const QString& address, int milliseconds);

signals:
    // A new list arrived (after every refresh that brought one).
    void listUpdated();
    void isEmptyChanged(bool empty);
    void locationImageSourceChanged(QString locationImageSource);
    void locationTextChanged(QString locationText);
    void serverIpChanged(QString ip);
    void unavailableChanged(bool unavailable);

private:
    const Server* chosenServer() const;
    QString summary(const Server& server) const;

    Servers servers;
    QHash<QString, int> roundTrips;
    qint32 chosenId = -1;
    bool listUnavailable = false;
};
