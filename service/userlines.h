#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The latest lines the service logged about each user (keyed by the kernel's id of the user), kept
// in memory so that a user can be given its own and never another's: the log file mixes everyone's.
// Bounded: maxBytes of lines per user (older ones go first), maxUsers users (the one heard from
// least recently goes).
class UserLines
{
public:
    void add(const QString& key, const QString& line);
    // Oldest first.
    QStringList lines(const QString& key) const;

    static constexpr int maxBytes = 48 * 1024;
    static constexpr int maxLineLength = 1000;
    static constexpr int maxUsers = 64;

private:
    struct Kept
    {
        QList<QString> lines;
        int bytes = 0;
        quint64 lastHeard = 0;
    };
    QHash<QString, Kept> users;
    quint64 heard = 0;
};
