#include "clientconfig.h"

#include "deploymentconfig.h"
#include "foundation/utils.h"
#include "platform/mtu.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryFile>

namespace {

const QString templatePath = QStringLiteral(":/resources/config/general.ovpn");
constexpr int secretBytes = 32;

// The deployment's PEM text as CR LF lines, from the begin marker to the end marker.
// Comment lines and blank lines around the block are left out, as the template brings its own.
QString pemBlock(const char* text, const QString& beginMarker, const QString& endMarker)
{
    const QStringList lines = QString::fromLatin1(text).split(QLatin1Char('\n'));
    QStringList block;
    bool inside = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line == beginMarker) {
            inside = true;
            block.clear();
        }
        if (inside && !line.isEmpty()) {
            block << line;
        }
        if (inside && line == endMarker) {
            break;
        }
    }
    return block.join(QStringLiteral("\r\n"));
}

} // namespace

ClientConfig::ClientConfig() = default;

ClientConfig::~ClientConfig() = default;

QString ClientConfig::protocolName(bool udp, bool lowerCase)
{
    const QString name = udp ? QStringLiteral("UDP") : QStringLiteral("TCP");
    return lowerCase ? name.toLower() : name;
}

QByteArray ClientConfig::managementSecret() const
{
    return secret;
}

QString ClientConfig::additionalDirectives(bool udp, qint32 mtu)
{
    QStringList directives { QStringLiteral("register-dns"), QStringLiteral("dhcp-renew"),
        QStringLiteral("block-outside-dns") };
    if (udp) {
        directives << QStringLiteral("mute-replay-warnings") << QStringLiteral("replay-window 256");
    }
    directives << Mtu::openVpnDirectives(mtu);
    QString block;
    for (const QString& directive : directives) {
        block += directive + QStringLiteral("\r\n");
    }
    return block;
}

QString ClientConfig::write(const QString& server, bool udp, qint32 mtu, QString* failure)
{
    configFile.reset(Utils::createLocalTemporaryFile(templatePath));
    if (!configFile || !configFile->open()) {
        *failure = QStringLiteral("OpenVpn config does not exists or empty");
        return QString();
    }

    QString text = QString::fromUtf8(configFile->readAll());
    if (!createManagementSecret()) {
        *failure = QStringLiteral("Cannot create the management password file");
        return QString();
    }
    // OpenVPN reads forward slashes on every system; a backslash would be an escape to it.
    QString passwordPath = QDir::fromNativeSeparators(QFileInfo(managementPasswordFile->fileName()).absoluteFilePath());
    if (passwordPath.contains(QLatin1Char(' '))) {
        passwordPath = QLatin1Char('"') + passwordPath + QLatin1Char('"');
    }
    text.replace(QStringLiteral("<MANAGEMENT_PASSWORD_FILE>"), passwordPath);
    text.replace(QStringLiteral("<SERVER>"), server);
    text.replace(QStringLiteral("<PROTOCOL>"), protocolName(udp, true));
    text.replace(
        QStringLiteral("<PORT>"), QString::number(udp ? Deployment::openVpnUdpPort : Deployment::openVpnTcpPort));
    text.replace(QStringLiteral("<ADDITIONAL_DATA>"), additionalDirectives(udp, mtu));
    // The provider's keys come from the deployment the client was built for.
    text.replace(QStringLiteral("<TLS_CRYPT_KEY>"),
        pemBlock(Deployment::openVpnTlsCryptKey, QStringLiteral("-----BEGIN OpenVPN Static key V1-----"),
            QStringLiteral("-----END OpenVPN Static key V1-----")));
    text.replace(QStringLiteral("<CA_CERTIFICATE>"),
        pemBlock(Deployment::openVpnCaPem, QStringLiteral("-----BEGIN CERTIFICATE-----"),
            QStringLiteral("-----END CERTIFICATE-----")));

    configFile->seek(0);
    configFile->resize(0);
    configFile->write(text.toLatin1());
    configFile->flush();
    return QFileInfo(configFile->fileName()).absoluteFilePath();
}

bool ClientConfig::createManagementSecret()
{
    QByteArray random(secretBytes, '\0');
    QRandomGenerator::system()->generate(random.begin(), random.end());
    secret = random.toHex();
    // Created for this user alone (0600; on Windows in the user's own temporary folder); only the
    // service reads it besides the client.
    managementPasswordFile
        = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/vpn-management-XXXXXX"));
    return managementPasswordFile->open()
        && managementPasswordFile->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && managementPasswordFile->write(secret + '\n') == secret.size() + 1 && managementPasswordFile->flush();
}
