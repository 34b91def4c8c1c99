#include "openvpnlaunch.h"

#include "platform/programpaths.h"
#include "servicelog.h"

#include <QDir>

OpenVpnLaunch::~OpenVpnLaunch()
{
    closeOutput();
}

QStringList OpenVpnLaunch::arguments() const
{
    return ProgramPaths::openVpnArguments(ProgramPaths::currentSystem(),
        { QStringLiteral("--config"), copyPath, QStringLiteral("--management-query-passwords") });
}

int OpenVpnLaunch::outputDescriptor() const
{
    return output;
}

QString OpenVpnLaunch::managementSocket() const
{
    return socketPath;
}

std::unique_ptr<OpenVpnLaunch> OpenVpnLaunch::prepare(const QStringList& arguments, qint64 peerUid, QString* error)
{
    // Exactly the client's command; an extra option would reach the root-run OpenVPN unchecked.
    if (arguments.size() != 5 || arguments.at(0) != QLatin1String("--config")
        || arguments.at(2) != QLatin1String("--management-query-passwords")
        || arguments.at(3) != QLatin1String("--log-append")) {
        *error = QStringLiteral("arguments are not --config FILE --management-query-passwords --log-append FILE: %1")
                     .arg(ServiceLog::printable(arguments.join(QLatin1Char(' '))));
        return nullptr;
    }
    const QString configPath = QDir::fromNativeSeparators(arguments.at(1));
    const QString logPath = QDir::fromNativeSeparators(arguments.at(4));
    std::unique_ptr<OpenVpnLaunch> launch(new OpenVpnLaunch);

    if (!launch->prepareFiles(configPath, logPath, peerUid, error)) {
        return nullptr;
    }
    return launch;
}
