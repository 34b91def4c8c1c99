#pragma once

#include "service/serviceprocess.h"

#include <QObject>
#include <QString>
#include <QStringList>

class ServiceLink;

// Engages and lifts the network lock by running the kill switch tool in the privileged service. It
// remembers what it last asked for and never waits for the tool nor reads the firewall back, but a
// run that the service refuses or that fails takes the claim back: the lock is not shown engaged
// when it may not hold. An
// engaged lock is asked for again when the link to the service drops, so that a service that
// restarts finds it in its queue before anything else.
class KillSwitch : public QObject
{
    Q_OBJECT

public:
    explicit KillSwitch(ServiceLink* link, QObject* parent = nullptr);

    bool isProtectionEnabled() const;
    // The server the engaged lock lets through; empty while it is lifted.
    QString protectedServer() const;
    // Engages the lock, or replaces it in one step when it is engaged already. The internal IP only
    // goes to the log: the lock is keyed on the server's public address.
    void enableProtection(const QString& internalIp, const QString& publicIp, bool allowLocalDevices);
    void disableProtection();
    // Keeps everything but the running tunnel off the network, a family it does not carry
    // included, whatever the lock's setting. The service lifts it when OpenVPN ends.
    void guardTunnel(const QString& publicIp, bool allowLocalDevices);

    static QString killSwitchToolPath();
    // The tool's argument lists, program path first.
    static QStringList enableArguments(const QString& publicIp, bool allowLocalDevices);
    static QStringList disableArguments();
    static QStringList guardArguments(const QString& publicIp, bool allowLocalDevices);

signals:
    void killSwitchFinished(bool ok);
    // The lock was engaged or lifted (a move to another server is neither).
    void protectionChanged(bool enabled);
    // A run of the tool was refused or failed while the lock was engaged: it was taken back.
    void failed();

protected slots:
    void onKillSwitchProcessFinished(int exitCode);
    void onKillSwitchProcessStarted();

private:
    void onServiceLinkDown();
    void onRunFailed(int code);

    ServiceProcess toolProcess;
    bool protectionEnabled = false;
    QString server;
    bool localDevices = false;
};
