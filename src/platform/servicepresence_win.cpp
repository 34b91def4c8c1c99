// The Windows side of the service check: the process list. Its parser is built everywhere, so that
// it is tested against recorded listings.
#include "servicepresence.h"

#include <QRegularExpression>
#include <QStringList>

#ifdef Q_OS_WIN
#include "foundation/commandrun.h"
#endif

bool processListContains(const QString& listing, const QString& caption)
{
    static const QRegularExpression lineEnds(QStringLiteral("[\\r\\n]"));
    const QStringList lines = listing.split(lineEnds, Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (line.simplified() == caption) {
            return true;
        }
    }
    return false;
}

#ifdef Q_OS_WIN

void checkVpnServiceRunning(QObject* context, const std::function<void(bool)>& done, int timeoutMs)
{
    auto* run = new CommandRun(QStringLiteral("wmic.exe"),
        { QStringLiteral("/OUTPUT:STDOUT"), QStringLiteral("PROCESS"), QStringLiteral("get"),
            QStringLiteral("Caption") },
        timeoutMs, QProcess::MergedChannels, context);
    QObject::connect(run, &CommandRun::finished, context, [run, done](const QString& listing) {
        run->deleteLater();
        done(processListContains(listing, QStringLiteral("%1.exe").arg(QStringLiteral("vpn-service"))));
    });
    run->start();
}

#endif
