#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class VpnCore;

// A problem report the user can send to support: one tar archive of the client's recent logs, the
// user's own lines of the service's log, the versions of the client, the service, OpenVPN and the
// system, the settings without the account, and the state of the lock, the tunnel's guard, lockdown
// and the resolvers. The password, the user name, the enciphered credentials, the management
// secret and the user's home folder are taken out of everything in it; the user's public addresses
// too, unless the user agreed to send them.
class ProblemReport : public QObject
{
    Q_OBJECT

public:
    // What goes in, gathered; `archive` makes the report of it.
    struct Parts
    {
        // Name in the archive (under "logs/") and content, newest first.
        QList<QPair<QString, QByteArray>> clientLogs;
        // The service's answer: its lines about this user and its version; empty when it gave none.
        QStringList serviceLines;
        QString serviceVersion;
        QString openVpnVersion;
        QString settings;
        QString state;
        // Never in the archive: each is replaced wherever it occurs.
        QStringList secrets;
        // The user's home folder, replaced by "~".
        QString home;
        // The addresses the provider saw the user come from, kept only with the user's consent.
        QStringList publicAddresses;
    };
    static QByteArray archive(const Parts& parts, bool includePublicAddresses);
    // The addresses the client's logs say the provider saw.
    static QStringList publicAddressesIn(const QByteArray& log);

    // serviceLog: asks the service for this user's lines; calls back with the lines and the version
    // (none when it cannot answer). The report waits for it at most queryTimeoutMs.
    using ServiceLogQuery = std::function<void(
        QObject* context, const std::function<void(const QStringList& lines, const QString& version)>& done)>;
    ProblemReport(VpnCore* core, const ServiceLogQuery& serviceLog, QObject* parent = nullptr);

    // Gathers and writes the report to path; written follows (also when it fails, with the reason).
    Q_INVOKABLE void write(const QString& path, bool includePublicAddresses);
    // Where the window suggests saving it: the user's documents folder.
    Q_INVOKABLE QString suggestedPath() const;
    Q_INVOKABLE bool busy() const;

    static constexpr int queryTimeoutMs = 5000;
    static constexpr int maxLogFiles = 3;
    static constexpr qint64 maxLogBytes = 2 * 1024 * 1024;

signals:
    // path: the file written; error: why not, empty on success.
    void written(const QString& path, const QString& error);

private:
    void finish();
    QString stateText() const;

    VpnCore* core;
    ServiceLogQuery askService;
    Parts parts;
    QString target;
    bool withPublicAddresses = false;
    int waiting = 0;
};
