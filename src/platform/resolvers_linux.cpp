// The Linux side of the user's resolvers: the system's resolver, which the dns tool restores from
// the copy it keeps.
#include "resolvers.h"

#ifndef Q_OS_WIN

#include <QTimer>

// A braced GUID, as the dns tool reads every entry's id; no adapter has this one.
const QString UserResolvers::systemResolverId = QStringLiteral("{00000000-0000-0000-0000-000000000000}");

UserResolvers::UserResolvers(QObject* parent)
    : QObject(parent)
{ }

void UserResolvers::refresh()
{
    if (pending) {
        return;
    }
    pending = true;
    QTimer::singleShot(0, this, [this] {
        list = { NetworkInterface(systemResolverId, QStringLiteral("System resolver"), {}, {}) };
        pending = false;
        emit refreshed();
    });
}

bool UserResolvers::isRefreshing() const
{
    return pending;
}

#endif
