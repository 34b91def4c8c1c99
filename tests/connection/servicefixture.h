#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A real vpn-service for a test: copied beside the test executable (its application folder is
// where the client looks for OpenVPN), allowed to take commands from the test, logging to a file.
class ServiceFixture
{
public:
    ~ServiceFixture();
    // Copies the service and the given OpenVPN stand-in into the application folder and starts it.
    bool start(const QString& openVpnProgram, QString* error);
    void stop();
    QString log() const;
    QString openVpnFolder() const;

private:
    QTemporaryDir logDir;
    std::unique_ptr<QProcess> service;
};
