#include "runcheck.h"

#include "foundation/utils.h"
#include "settings/settings.h"

RunCheck::RunCheck(Settings* settings, QObject* parent)
    : QObject(parent)
    , settings(settings)
{ }

void RunCheck::setInstallation(const Installation& programs)
{
    installation = programs;
}

bool RunCheck::installationBroken()
{
    broken = installation.brokenPieces();
    return !broken.isEmpty();
}

RunCheck::Refusal RunCheck::beforeConnect(const QString& serverIp)
{
    if (installationBroken()) {
        last = InstallationBroken;
    } else if (settings->userName().simplified().isEmpty() || settings->password().simplified().isEmpty()) {
        last = AccountMissing;
    } else if (serverIp.isEmpty()) {
        last = ServerMissing;
    } else if (Utils::canonicalAddress(serverIp).isEmpty()) {
        last = ServerInvalid;
    } else {
        last = None;
    }
    return last;
}

RunCheck::Refusal RunCheck::beforeReconnect(const QString& serverIp)
{
    if (Utils::canonicalAddress(serverIp).isEmpty()) {
        last = ServerInvalid;
    } else {
        last = installationBroken() ? InstallationBroken : None;
    }
    return last;
}

QString RunCheck::text() const
{
    switch (last) {
    case InstallationBroken:
        return tr("Missing or not executable: %1").arg(broken.join(QStringLiteral(", ")));
    case AccountMissing:
        return tr("Username or password is empty!");
    case ServerMissing:
        return tr("VPN server IP is empty!");
    case ServerInvalid:
        return tr("VPN server IP is not a valid address!");
    case None:
        break;
    }
    return QString();
}

QStringList RunCheck::brokenPieces() const
{
    return broken;
}
