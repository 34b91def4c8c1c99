#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Lockdown: the machine's traffic held to the local network (as set), DHCP and neighbour
// discovery, the provider's VPN servers and its API, from the service's own start (boot) until it
// is turned off, whether a client runs or not. The mode and the server addresses live in a state
// file of the service's own folder, so that they hold through restarts and upgrades.
class LockdownMode
{
public:
    struct State
    {
        bool on = false;
        bool allowLocal = false;
        // The VPN servers of the client's last server list.
        QStringList servers;
        // Who turned it on (PeerUser's id and name): only that user or root may lift or weaken it.
        // A state file without one is root's.
        QString holder;
        QString holderName;
    };

    explicit LockdownMode(const QString& folder);

    QString filePath() const;
    // What the file holds; off when there is none. A file that cannot be read or trusted keeps
    // lockdown on without servers, with the reason in problem: the mode was asked for, and
    // nothing says it was lifted.
    State load(QString* problem) const;
    bool save(const State& state, QString* error) const;

    static QByteArray serialize(const State& state);
    static bool parse(const QByteArray& text, State* state, QString* error);
    // The kill switch tool's arguments that put the state in place.
    static QStringList toolArguments(const State& state);
    // The provider API host's address, when the deployment names one; empty for a name.
    static QString apiAddress();
    // The default folder: /var/lib/korvexvpn (Windows: the common application data folder).
    static QString defaultFolder();
    // An address the tools take: ASCII in its one canonical form.
    static bool isAddress(const QString& text);

    static constexpr int maxServers = 1000;
    static constexpr qint64 maxFileSize = 64 * 1024;

private:
    QString folder;
};
