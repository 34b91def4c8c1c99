// Helpers shared by the tests that drive real processes and read what they wrote.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// A file's bytes; empty when it cannot be read.
inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString readFile(const QString& path)
{
    return QString::fromUtf8(readBytes(path));
}

// A throw-away home for the client's settings and data. Made before anything reads them: a process fixes
// the settings' folder at their first use, and a test that missed it would share the user's own profile.
class TemporaryProfile
{
public:
    TemporaryProfile()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    }
    QString path() const
    {
        return dir.path();
    }
    QString filePath(const QString& name) const
    {
        return dir.filePath(name);
    }

private:
    QTemporaryDir dir;
};

// A fixture below tests/data, such as "connection/route-two-adapters.txt".
inline QString fixture(const QString& name)
{
    if (!QFile::exists(VPN_TEST_DATA_DIR "/" + name)) {
        qFatal("missing fixture %s", qPrintable(name));
    }
    return readFile(VPN_TEST_DATA_DIR "/" + name);
}

// An executable shell script standing in for a command the code runs; none for an empty body.
inline void writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    file.remove();
    QVERIFY(body.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\n" + body + "\n") > 0));
    file.close();
    QVERIFY(body.isEmpty() || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeOther));
}

// The fields from `from` on of each line of a log file, or of the newest application log of a folder.
inline QStringList logLines(const QString& path, int from = 1)
{
    const QStringList logs = QDir(path).entryList({ "*-app.log" }, QDir::Files, QDir::Name);
    QStringList lines
        = readFile(logs.isEmpty() ? path : QDir(path).filePath(logs.last())).split('\n', Qt::SkipEmptyParts);
    for (QString& line : lines) {
        line = line.section('\t', from);
    }
    return lines;
}
