// The Windows side of the state folder: under the common application data folder, which only
// administrators may change.
#include "statefolder.h"

#ifdef Q_OS_WIN

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace StateFolder {

bool prepare(const QString& folder, QString* problem)
{
    if (!QDir().mkpath(folder)) {
        *problem = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    return true;
}

bool write(const QString& path, const QByteArray& data, QString* error)
{
    if (!prepare(QFileInfo(path).path(), error)) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool read(const QString& path, qint64 maxSize, QByteArray* data, bool* missing, QString* problem)
{
    *missing = !QFile::exists(path);
    if (*missing) {
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxSize) {
        *problem = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    *data = file.readAll();
    return true;
}

} // namespace StateFolder

#endif
