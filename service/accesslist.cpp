#include "accesslist.h"

namespace AccessList {

QStringList systemAccounts()
{
    return { QStringLiteral("S-1-5-18"), QStringLiteral("S-1-5-32-544"),
        QStringLiteral("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464") };
}

QString problem(const QString& owner, bool hasList, const QList<Entry>& entries, const QStringList& trusted)
{
    if (!trusted.contains(owner, Qt::CaseInsensitive)) {
        return QStringLiteral("owned by %1").arg(owner.isEmpty() ? QStringLiteral("nobody known") : owner);
    }
    if (!hasList) {
        return QStringLiteral("no access list: everyone may change it");
    }
    for (const Entry& entry : entries) {
        if (entry.allows && !entry.inheritOnly && (entry.mask & changingRights) != 0
            && !trusted.contains(entry.sid, Qt::CaseInsensitive)) {
            return QStringLiteral("%1 may change it (rights 0x%2)").arg(entry.sid).arg(entry.mask, 0, 16);
        }
    }
    return QString();
}

} // namespace AccessList
