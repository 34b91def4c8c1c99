// Helpers shared by the tests that drive real processes.
#pragma once

#include <QDir>
#include <QProcess>
#include <QtTest>

// A fixture below tests/data, such as "connection/route-one-adapter.txt".
inline QString fixture(const QString& name)
{
    QFile file(VPN_TEST_DATA_DIR "/" + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", qPrintable(name));
    }
    return QString::fromUtf8(file.readAll());
}

// An executable shell script standing in for a command the code runs.
inline void writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\n" + body + "\n") > 0);
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
}

// "type<TAB>text" of each line of a log file, or of the newest application log of a folder.
inline QStringList logTexts(const QString& path)
{
    const QStringList logs = QDir(path).entryList({ "*-app.log" }, QDir::Files, QDir::Name);
    QFile file(logs.isEmpty() ? path : QDir(path).filePath(logs.last()));
    QStringList texts;
    for (const QString& line :
        QString(file.open(QIODevice::ReadOnly) ? file.readAll() : "").split('\n', Qt::SkipEmptyParts)) {
        texts << line.section('\t', 1);
    }
    return texts;
}
