#include "userlines.h"

#include "servicelog.h"

#include <QDateTime>

void UserLines::add(const QString& key, const QString& line)
{
    if (key.isEmpty()) {
        return;
    }
    if (!users.contains(key) && users.size() >= maxUsers) {
        auto oldest = users.begin();
        for (auto it = users.begin(); it != users.end(); ++it) {
            if (it->lastHeard < oldest->lastHeard) {
                oldest = it;
            }
        }
        users.erase(oldest);
    }
    Kept& kept = users[key];
    kept.lastHeard = ++heard;
    // One line each, whatever it holds: an answer line never ends early or fakes another.
    const QString text = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz "))
        + ServiceLog::printable(line, maxLineLength);
    kept.lines.append(text);
    kept.bytes += text.size();
    while (kept.bytes > maxBytes && !kept.lines.isEmpty()) {
        kept.bytes -= kept.lines.takeFirst().size();
    }
}

QStringList UserLines::lines(const QString& key) const
{
    return users.value(key).lines;
}
