#pragma once

#include "settings/credentialcipher.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QSettings;

// The user's choices between runs. Values live in memory and change through setters that compare,
// store and notify; only save() writes them to the store, the credentials enciphered.
class Settings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString userName READ userName WRITE setUserName NOTIFY userNameChanged)
    Q_PROPERTY(bool allowAccessToLocalDevices READ allowAccessToLocalDevices WRITE setAllowAccessToLocalDevices NOTIFY
            allowAccessToLocalDevicesChanged)
    Q_PROPERTY(
        bool autoReconnectToVpn READ autoReconnectToVpn WRITE setAutoReconnectToVpn NOTIFY autoReconnectToVpnChanged)
    Q_PROPERTY(bool autoUpdateEnabled READ autoUpdateEnabled WRITE setAutoUpdateEnabled NOTIFY autoUpdateEnabledChanged)
    Q_PROPERTY(bool connectToLastLocation READ connectToLastLocation WRITE setConnectToLastLocation NOTIFY
            connectToLastLocationChanged)
    Q_PROPERTY(bool killswitchEnabled READ killswitchEnabled WRITE setKillswitchEnabled NOTIFY killswitchEnabledChanged)
    // Lockdown: all traffic blocked while the VPN is off, held by the service (which has the last word).
    Q_PROPERTY(bool lockdownEnabled READ lockdownEnabled WRITE setLockdownEnabled NOTIFY lockdownEnabledChanged)
    Q_PROPERTY(bool keepRunningInTray READ keepRunningInTray WRITE setKeepRunningInTray NOTIFY keepRunningInTrayChanged)
    // The sign-in launch starts the client in the notification area, without its window.
    Q_PROPERTY(bool startInTray READ startInTray WRITE setStartInTray NOTIFY startInTrayChanged)
    Q_PROPERTY(
        bool launchAppOnStartup READ launchAppOnStartup WRITE setLaunchAppOnStartup NOTIFY launchAppOnStartupChanged)
    Q_PROPERTY(
        QStringList favouriteServers READ favouriteServers WRITE setFavouriteServers NOTIFY favouriteServersChanged)
    Q_PROPERTY(int mtuSize READ mtuSize WRITE setMtuSize NOTIFY mtuSizeChanged)
    Q_PROPERTY(int networkProtocol READ networkProtocol WRITE setNetworkProtocol NOTIFY networkProtocolChanged)
    Q_PROPERTY(bool notificationsEnabled READ notificationsEnabled WRITE setNotificationsEnabled NOTIFY
            notificationsEnabledChanged)

public:
    // The values of networkProtocol, as stored and as QML sees them.
    enum NetworkProtocol : qint32
    {
        Udp = 0,
        Tcp = 1,
    };
    Q_ENUM(NetworkProtocol)

    static Settings* instance();

    QString password() const;
    QString userName() const;
    bool allowAccessToLocalDevices() const;
    bool autoReconnectToVpn() const;
    bool autoUpdateEnabled() const;
    bool connectToLastLocation() const;
    bool killswitchEnabled() const;
    bool lockdownEnabled() const;
    // Closing the main window leaves the client in the notification area, where there is one.
    bool keepRunningInTray() const;
    // Read live from the sign-in registration; there is no stored value.
    bool launchAppOnStartup() const;
    bool startInTray() const;
    qint32 currentServerId() const;
    // The servers the user marked, by their feed name (or address, for a server without one).
    QStringList favouriteServers() const;
    qint32 mtuSize() const;
    // A NetworkProtocol.
    qint32 networkProtocol() const;
    // The tray's messages about the connection.
    bool notificationsEnabled() const;

    void setPassword(const QString& password);
    void setUserName(const QString& userName);
    void setAllowAccessToLocalDevices(bool enable);
    void setAutoReconnectToVpn(bool enable);
    void setAutoUpdateEnabled(bool enabled);
    void setConnectToLastLocation(bool enable);
    void setKillswitchEnabled(bool enable);
    void setLockdownEnabled(bool enable);
    void setKeepRunningInTray(bool enable);
    void setLaunchAppOnStartup(bool enable);
    // Rewrites a sign-in registration that is there to match.
    void setStartInTray(bool enable);
    void setCurrentServerId(qint32 currentServerId);
    void setFavouriteServers(const QStringList& servers);
    // 0 means automatic. The composition root applies a change to the adapters.
    void setMtuSize(qint32 mtuSize);
    void setNetworkProtocol(qint32 protocol);
    void setNotificationsEnabled(bool enable);

    // The credentials as the store holds them, enciphered: what a problem report must never hold.
    QStringList storedCredentials() const;

    Q_INVOKABLE int defaultMtuSize() const;
    Q_INVOKABLE void save();

signals:
    void allowAccessToLocalDevicesChanged(bool enable);
    void autoReconnectToVpnChanged(bool enable);
    void autoUpdateEnabledChanged(bool enabled);
    void connectToLastLocationChanged(bool enable);
    void currentServerIdChanged(int currentServerId);
    void favouriteServersChanged(const QStringList& servers);
    void keepRunningInTrayChanged(bool enable);
    void killswitchEnabledChanged(bool enable);
    void lockdownEnabledChanged(bool enable);
    void launchAppOnStartupChanged(bool enable);
    void startInTrayChanged(bool enable);
    void mtuSizeChanged(int mtuSize);
    void networkProtocolChanged(int protocol);
    void notificationsEnabledChanged(bool enable);
    void passwordChanged(QString password);
    void userNameChanged(QString userName);

private:
    Settings();
    void load();

    QSettings* store = nullptr;
    QString passwordValue;
    QString userNameValue;
    CredentialCipher cipher;
    bool allowAccessToLocalDevicesValue = true;
    bool autoReconnectToVpnValue = true;
    bool autoUpdateEnabledValue = false;
    bool connectToLastLocationValue = false;
    bool killswitchEnabledValue = false;
    bool lockdownEnabledValue = false;
    bool keepRunningInTrayValue = true;
    bool notificationsEnabledValue = true;
    bool startInTrayValue = false;
    qint32 currentServerIdValue = 0;
    QStringList favouriteServersValue;
    qint32 mtuSizeValue = 0;
    qint32 networkProtocolValue = 0;
};
