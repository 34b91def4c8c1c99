#include "settings.h"

#include "platform/autostart.h"

#include <QSettings>

#include <deploymentconfig.h>

namespace {

const QString groupName = QStringLiteral("Settings");
const QString allowAccessToLocalDevicesKey = QStringLiteral("allowAccessToLocalDevices");
const QString autoReconnectToVpnKey = QStringLiteral("autoReconnectToVpn");
const QString autoUpdateEnabledKey = QStringLiteral("autoUpdateEnabled");
const QString connectToLastLocationKey = QStringLiteral("connectToLastLocation");
const QString currentServerIdKey = QStringLiteral("currentServerId");
const QString favouriteServersKey = QStringLiteral("favouriteServers");
const QString keepRunningInTrayKey = QStringLiteral("keepRunningInTray");
const QString killswitchEnabledKey = QStringLiteral("killswitchEnabled");
const QString lockdownEnabledKey = QStringLiteral("lockdownEnabled");
const QString mtuSizeKey = QStringLiteral("mtuSize");
const QString networkProtocolKey = QStringLiteral("networkProtocol");
const QString notificationsEnabledKey = QStringLiteral("notificationsEnabled");
const QString startInTrayKey = QStringLiteral("startInTray");
const QString passwordKey = QStringLiteral("password");
const QString userNameKey = QStringLiteral("userName");

// A store edited by hand cannot make the list unbounded.
constexpr int maxFavourites = 1000;
constexpr int maxFavouriteLength = 255;

QStringList boundedFavourites(const QStringList& servers)
{
    QStringList kept;
    for (const QString& server : servers) {
        if (kept.size() == maxFavourites) {
            break;
        }
        if (!server.isEmpty() && server.size() <= maxFavouriteLength && !kept.contains(server)) {
            kept << server;
        }
    }
    return kept;
}

} // namespace

Settings::Settings()
{
    setObjectName(QStringLiteral("Settings"));
    cipher.setKey(Deployment::cipherKey);
    store = new QSettings(QStringLiteral("VPN"), QStringLiteral("VPNClient"), this);
    load();
}

Settings* Settings::instance()
{
    // Function-local static: created once, thread-safe, and never destroyed before process exit.
    static Settings* const settings = new Settings();
    return settings;
}

void Settings::load()
{
    store->beginGroup(groupName);
    allowAccessToLocalDevicesValue
        = store->value(allowAccessToLocalDevicesKey, allowAccessToLocalDevicesValue).toBool();
    autoReconnectToVpnValue = store->value(autoReconnectToVpnKey, autoReconnectToVpnValue).toBool();
    autoUpdateEnabledValue = store->value(autoUpdateEnabledKey, autoUpdateEnabledValue).toBool();
    connectToLastLocationValue = store->value(connectToLastLocationKey, connectToLastLocationValue).toBool();
    currentServerIdValue = store->value(currentServerIdKey, currentServerIdValue).toInt();
    favouriteServersValue = boundedFavourites(store->value(favouriteServersKey).toStringList());
    keepRunningInTrayValue = store->value(keepRunningInTrayKey, keepRunningInTrayValue).toBool();
    killswitchEnabledValue = store->value(killswitchEnabledKey, killswitchEnabledValue).toBool();
    lockdownEnabledValue = store->value(lockdownEnabledKey, lockdownEnabledValue).toBool();
    mtuSizeValue = store->value(mtuSizeKey, mtuSizeValue).toInt();
    networkProtocolValue = store->value(networkProtocolKey, networkProtocolValue).toInt();
    notificationsEnabledValue = store->value(notificationsEnabledKey, notificationsEnabledValue).toBool();
    startInTrayValue = store->value(startInTrayKey, startInTrayValue).toBool();
    passwordValue = cipher.decipherText(store->value(passwordKey, passwordValue).toString());
    userNameValue = cipher.decipherText(store->value(userNameKey, userNameValue).toString());
    store->endGroup();
}

QStringList Settings::storedCredentials() const
{
    store->beginGroup(groupName);
    const QStringList stored { store->value(passwordKey).toString(), store->value(userNameKey).toString() };
    store->endGroup();
    return stored;
}

void Settings::save()
{
    store->beginGroup(groupName);
    store->setValue(allowAccessToLocalDevicesKey, allowAccessToLocalDevicesValue);
    store->setValue(autoReconnectToVpnKey, autoReconnectToVpnValue);
    store->setValue(autoUpdateEnabledKey, autoUpdateEnabledValue);
    store->setValue(connectToLastLocationKey, connectToLastLocationValue);
    store->setValue(currentServerIdKey, currentServerIdValue);
    store->setValue(favouriteServersKey, favouriteServersValue);
    store->setValue(keepRunningInTrayKey, keepRunningInTrayValue);
    store->setValue(killswitchEnabledKey, killswitchEnabledValue);
    store->setValue(lockdownEnabledKey, lockdownEnabledValue);
    store->setValue(mtuSizeKey, mtuSizeValue);
    store->setValue(networkProtocolKey, networkProtocolValue);
    store->setValue(notificationsEnabledKey, notificationsEnabledValue);
    store->setValue(startInTrayKey, startInTrayValue);
    store->setValue(passwordKey, cipher.encipherText(passwordValue));
    store->setValue(userNameKey, cipher.encipherText(userNameValue));
    store->endGroup();
    store->sync();
}

QString Settings::password() const
{
    return passwordValue;
}

QString Settings::userName() const
{
    return userNameValue;
}

bool Settings::allowAccessToLocalDevices() const
{
    return allowAccessToLocalDevicesValue;
}

bool Settings::autoReconnectToVpn() const
{
    return autoReconnectToVpnValue;
}

bool Settings::autoUpdateEnabled() const
{
    return autoUpdateEnabledValue;
}

bool Settings::connectToLastLocation() const
{
    return connectToLastLocationValue;
}

bool Settings::killswitchEnabled() const
{
    return killswitchEnabledValue;
}

bool Settings::keepRunningInTray() const
{
    return keepRunningInTrayValue;
}

bool Settings::notificationsEnabled() const
{
    return notificationsEnabledValue;
}

bool Settings::launchAppOnStartup() const
{
    return AutoStart::isEnabled();
}

bool Settings::startInTray() const
{
    return startInTrayValue;
}

qint32 Settings::currentServerId() const
{
    return currentServerIdValue;
}

QStringList Settings::favouriteServers() const
{
    return favouriteServersValue;
}

qint32 Settings::mtuSize() const
{
    return mtuSizeValue;
}

qint32 Settings::networkProtocol() const
{
    return networkProtocolValue;
}

void Settings::setPassword(const QString& password)
{
    if (passwordValue == password) {
        return;
    }
    passwordValue = password;
    emit passwordChanged(passwordValue);
}

void Settings::setUserName(const QString& userName)
{
    if (userNameValue == userName) {
        return;
    }
    userNameValue = userName;
    emit userNameChanged(userNameValue);
}

void Settings::setAllowAccessToLocalDevices(bool enable)
{
    if (allowAccessToLocalDevicesValue == enable) {
        return;
    }
    allowAccessToLocalDevicesValue = enable;
    emit allowAccessToLocalDevicesChanged(enable);
}

void Settings::setAutoReconnectToVpn(bool enable)
{
    if (autoReconnectToVpnValue == enable) {
        return;
    }
    autoReconnectToVpnValue = enable;
    emit autoReconnectToVpnChanged(enable);
}

void Settings::setAutoUpdateEnabled(bool enabled)
{
    if (autoUpdateEnabledValue == enabled) {
        return;
    }
    autoUpdateEnabledValue = enabled;
    emit autoUpdateEnabledChanged(enabled);
}

void Settings::setConnectToLastLocation(bool enable)
{
    if (connectToLastLocationValue == enable) {
        return;
    }
    connectToLastLocationValue = enable;
    emit connectToLastLocationChanged(enable);
}

void Settings::setKillswitchEnabled(bool enable)
{
    if (killswitchEnabledValue == enable) {
        return;
    }
    killswitchEnabledValue = enable;
    emit killswitchEnabledChanged(enable);
}

bool Settings::lockdownEnabled() const
{
    return lockdownEnabledValue;
}

void Settings::setLockdownEnabled(bool enable)
{
    if (lockdownEnabledValue == enable) {
        return;
    }
    lockdownEnabledValue = enable;
    emit lockdownEnabledChanged(enable);
}

void Settings::setKeepRunningInTray(bool enable)
{
    if (keepRunningInTrayValue == enable) {
        return;
    }
    keepRunningInTrayValue = enable;
    emit keepRunningInTrayChanged(enable);
}

void Settings::setNotificationsEnabled(bool enable)
{
    if (notificationsEnabledValue == enable) {
        return;
    }
    notificationsEnabledValue = enable;
    emit notificationsEnabledChanged(enable);
}

void Settings::setLaunchAppOnStartup(bool enable)
{
    if (AutoStart::isEnabled() == enable) {
        return;
    }
    // The registration result is logged by AutoStart; the change is announced either way.
    AutoStart::setEnabled(enable, startInTrayValue);
    emit launchAppOnStartupChanged(enable);
}

void Settings::setStartInTray(bool enable)
{
    if (startInTrayValue == enable) {
        return;
    }
    startInTrayValue = enable;
    if (AutoStart::isEnabled()) {
        AutoStart::setEnabled(true, enable);
    }
    emit startInTrayChanged(enable);
}

void Settings::setCurrentServerId(qint32 currentServerId)
{
    if (currentServerIdValue == currentServerId) {
        return;
    }
    currentServerIdValue = currentServerId;
    emit currentServerIdChanged(currentServerId);
}

void Settings::setFavouriteServers(const QStringList& servers)
{
    const QStringList kept = boundedFavourites(servers);
    if (favouriteServersValue == kept) {
        return;
    }
    favouriteServersValue = kept;
    emit favouriteServersChanged(kept);
}

void Settings::setMtuSize(qint32 mtuSize)
{
    if (mtuSizeValue == mtuSize) {
        return;
    }
    mtuSizeValue = mtuSize;
    emit mtuSizeChanged(mtuSize);
}

void Settings::setNetworkProtocol(qint32 protocol)
{
    if (networkProtocolValue == protocol) {
        return;
    }
    networkProtocolValue = protocol;
    emit networkProtocolChanged(protocol);
}

int Settings::defaultMtuSize() const
{
    return 1500;
}
