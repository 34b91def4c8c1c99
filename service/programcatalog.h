#pragma once

#include "platform/programpaths.h"

#include <QList>
#include <QString>

// The only programs the service runs: OpenVPN and the two tools of its own folder, at the paths the
// client names them by.
class ProgramCatalog
{
public:
    struct Program
    {
        // Name in the status lines: the base name without ".exe".
        QString name;
        // Where the client names it, forward slashes.
        QString path;
        // The folder it must stay inside: the service's own, or the root for the system's OpenVPN.
        QString trustedFolder;
    };

    struct Resolution
    {
        // Non-empty when the request names one of the three programs, even if it is refused.
        QString name;
        // The file to execute; empty when refused.
        QString executable;
        QString error;
        bool missing = false;
    };

    explicit ProgramCatalog(const ProgramPaths::Paths& paths);

    QString folder() const;
    const QList<Program>& programs() const;
    QString pathOf(const QString& name) const;

    // Accepts only the exact path of one of the programs, a file that stays inside its trusted
    // folder and that no other user can replace.
    Resolution resolve(const QString& requestedPath) const;

    static QString nameFromPath(const QString& path);

private:
    static bool isSafeFromOtherUsers(const QString& canonicalFile, const QString& canonicalFolder, QString* error);

    QString programFolder;
    QList<Program> list;
};
