#include "installation.h"

#include <QCoreApplication>
#include <QFileInfo>

Installation::Installation(const ProgramPaths::Paths& paths)
    : paths(paths)
{ }

QStringList Installation::brokenPieces() const
{
    const struct
    {
        const char* name;
        QString path;
    } pieces[] = {
        { QT_TRANSLATE_NOOP("Installation", "OpenVPN"), paths.openVpn },
        { QT_TRANSLATE_NOOP("Installation", "the network lock tool"), paths.killSwitch },
        { QT_TRANSLATE_NOOP("Installation", "the resolver tool"), paths.dns },
    };
    QStringList broken;
    for (const auto& piece : pieces) {
        const QFileInfo file(piece.path);
        if (!file.isFile() || !file.isExecutable()) {
            broken << QStringLiteral("%1 (%2)").arg(
                QCoreApplication::translate("Installation", piece.name), piece.path);
        }
    }
    return broken;
}
