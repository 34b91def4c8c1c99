#include "programpaths.h"

#include "programconfig.h"

#include <QCoreApplication>
#include <QDir>

namespace ProgramPaths {

Paths forSystem(System system, const QString& folder, const QString& openVpnProgram)
{
    // Forward slashes on either system: the client sends them and the service compares them.
    QString base = folder;
    if (system == System::Windows) {
        base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    base = QDir::cleanPath(base);
    if (system == System::Windows) {
        return { base + QStringLiteral("/openvpn/bin/openvpn.exe"), base + QStringLiteral("/killswitch.exe"),
            base + QStringLiteral("/dns.exe"), base };
    }
    return { QDir::cleanPath(openVpnProgram), base + QStringLiteral("/killswitch"), base + QStringLiteral("/dns"),
        base };
}

QStringList openVpnArguments(System system, const QStringList& serviceArguments)
{
    if (system == System::Windows) {
        return serviceArguments;
    }
    // The ignorable directives count only before the configuration is read. Options after it win:
    // OpenVPN runs as root on a configuration the unprivileged client wrote, and needs no scripts.
    return QStringList { QStringLiteral("--ignore-unknown-option"), QStringLiteral("register-dns"),
        QStringLiteral("dhcp-renew"), QStringLiteral("block-outside-dns") }
    + serviceArguments + QStringList { QStringLiteral("--script-security"), QStringLiteral("1") };
}

System currentSystem()
{
#ifdef Q_OS_WIN
    return System::Windows;
#else
    return System::Linux;
#endif
}

Paths current()
{
    const QString configured = QString::fromUtf8(ProgramConfig::programFolder);
    return forSystem(currentSystem(), configured.isEmpty() ? QCoreApplication::applicationDirPath() : configured,
        QString::fromUtf8(ProgramConfig::openVpnProgram));
}

QString openVpn()
{
    return current().openVpn;
}

QString killSwitch()
{
    return current().killSwitch;
}

QString dns()
{
    return current().dns;
}

} // namespace ProgramPaths
