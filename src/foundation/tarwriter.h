#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// A tar archive (ustar) of plain files, made in memory: what GNU tar, bsdtar (Windows' own tar) and
// every archive program read, without a library. Names are plain ASCII of at most 99 characters.
class TarWriter
{
public:
    // False (and nothing added) for a name that does not fit.
    bool add(const QString& name, const QByteArray& data);
    QByteArray archive() const;

private:
    QList<QPair<QByteArray, QByteArray>> files;
};
