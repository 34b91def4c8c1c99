#pragma once

#include <QList>
#include <QString>

// The only programs the service runs: OpenVPN and the two tools of its own application folder.
class ProgramCatalog
{
public:
    struct Program
    {
        // Name in the status lines: the base name without ".exe".
        QString name;
        // Where the client names it: inside the application folder, forward slashes.
        QString path;
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

    explicit ProgramCatalog(const QString& applicationFolder);

    QString folder() const;
    const QList<Program>& programs() const;
    QString pathOf(const QString& name) const;

    // Accepts only the exact path of one of the programs, a file that stays inside the folder
    // and that no other user can replace.
    Resolution resolve(const QString& requestedPath) const;

    static QString nameFromPath(const QString& path);

private:
    bool isSafeFromOtherUsers(const QString& canonicalFile, QString* error) const;

    QString applicationFolder;
    QList<Program> list;
};
