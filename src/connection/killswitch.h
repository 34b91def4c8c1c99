#pragma once

#include "service/serviceprocess.h"

#include <QObject>
#include <QString>
#include <QStringList>

// Engages and lifts the network lock by running killswitch.exe in the privileged service. It
// remembers what it last asked for; it never waits for the tool nor reads the firewall back.
class KillSwitch : public QObject
{
    Q_OBJECT

public:
    explicit KillSwitch(QObject* parent = nullptr);

    bool isProtectionEnabled() const;
    // The internal IP only goes to the log: the lock is keyed on the server's public address.
    void enableProtection(const QString& internalIp, const QString& publicIp, bool allowLocalDevices);
    void disableProtection();

    static QString killSwitchToolPath();
    // The tool's argument lists, program path first.
    static QStringList enableArguments(const QString& publicIp, bool allowLocalDevices);
    static QStringList disableArguments();

signals:
    void killSwitchFinished(bool ok);

protected slots:
    void onKillSwitchProcessFinished(int exitCode);
    void onKillSwitchProcessStarted();

private:
    ServiceProcess toolProcess;
    bool protectionEnabled = false;
};
