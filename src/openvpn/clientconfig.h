#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QTemporaryFile;

// The files of one OpenVPN run: the configuration, from the template with the server, the protocol,
// the user's MTU and the deployment's keys filled in, and the management interface's password in a
// file of this user alone. Both go when the next run's are written and with this object.
class ClientConfig
{
public:
    ClientConfig();
    ~ClientConfig();

    // The configuration's absolute path; empty, with the reason in failure, when a file cannot be
    // written. Each call makes a fresh management secret.
    QString write(const QString& server, bool udp, qint32 mtu, QString* failure);
    // This run's management password, as OpenVPN asks for it.
    QByteArray managementSecret() const;

    static QString protocolName(bool udp, bool lowerCase);

private:
    bool createManagementSecret();
    static QString additionalDirectives(bool udp, qint32 mtu);

    std::unique_ptr<QTemporaryFile> configFile;
    std::unique_ptr<QTemporaryFile> managementPasswordFile;
    QByteArray secret;
};
