#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away application folder with a copy of vpn-service and the stand-in programs in
// place of OpenVPN and the two tools, and the service running from it as a real process.
class ServiceFixture
{
public:
    ServiceFixture();
    ~ServiceFixture();

    bool isValid() const;
    QString appDir() const;
    QString path(const QString& name) const; // "openvpn", "killswitch", "dns"
    QString logFilePath() const;

    // allowTestClient: let this test process command the service.
    bool startService(bool allowTestClient = true);
    void killService();
    void stopService();
    bool serviceRunning() const;

    // What the stand-ins ran, one "NAME ARGS" line each, in order.
    QStringList records() const;
    // The client's command for OpenVPN, on a valid configuration and a log file of this folder;
    // the stand-in then runs until it is stopped. openVpnRuns: how often it started so.
    QStringList openVpnCommand() const;
    int openVpnRuns() const;
    void clearRecords();
    QString serviceLog() const;
    // What a sanitizer build of the service reported, empty when all is well.
    QString sanitizerReport() const;

private:
    QTemporaryDir dir;
    QProcess* service = nullptr;
    bool valid = false;
};
