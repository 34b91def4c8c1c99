// Helpers shared by the tests that drive real processes.
#pragma once

#include "platform/networkadapter.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

// A fixture below tests/data, such as "connection/route-two-adapters.txt".
inline QString fixture(const QString& name)
{
    QFile file(VPN_TEST_DATA_DIR "/" + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", qPrintable(name));
    }
    return QString::fromUtf8(file.readAll());
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
    QFile file(logs.isEmpty() ? path : QDir(path).filePath(logs.last()));
    QStringList lines = QString(file.open(QIODevice::ReadOnly) ? file.readAll() : "").split('\n', Qt::SkipEmptyParts);
    for (QString& line : lines) {
        line = line.section('\t', from);
    }
    return lines;
}

// "index:name|" for each adapter.
inline QString describe(const NetworkAdapters& adapters)
{
    QString text;
    for (const NetworkAdapter& adapter : adapters) {
        text += QString("%1:%2|").arg(adapter.index).arg(adapter.name);
    }
    return text;
}
