#pragma once

#include "connection/installation.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Settings;

// Whether a run of the tunnel may start, and why not in the user's words: the programs a tunnel
// needs are in place, an account is stored (for the user's connect), and the chosen server is an
// address in canonical form, the only form that reaches OpenVPN's configuration and the lock.
class RunCheck : public QObject
{
    Q_OBJECT

public:
    enum Refusal
    {
        None,
        InstallationBroken,
        AccountMissing,
        ServerMissing,
        ServerInvalid
    };

    explicit RunCheck(Settings* settings, QObject* parent = nullptr);

    void setInstallation(const Installation& programs);
    // The user's connect: every check in turn; the first that fails.
    Refusal beforeConnect(const QString& serverIp);
    // An automatic reconnection: the server first, then the programs (the account stays as it was).
    Refusal beforeReconnect(const QString& serverIp);
    // Why the last check refused; empty when it did not.
    QString text() const;
    // What the last check found missing or not executable, each with its path.
    QStringList brokenPieces() const;

private:
    bool installationBroken();

    Settings* settings;
    Installation installation;
    QStringList broken;
    Refusal last = None;
};
