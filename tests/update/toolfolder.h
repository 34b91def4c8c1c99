#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A temporary folder holding nothing but the maintenance-tool stand-in of the development host
// (as maintenancetool.exe) and, when asked for, its answer file.
class ToolFolder
{
public:
    explicit ToolFolder(bool withTool = true)
    {
        if (withTool) {
            const QString tool = dir.filePath(QStringLiteral("maintenancetool.exe"));
            copied = QFile::copy(QStringLiteral(VPN_SOURCE_DIR "/devhost/maintenancetool/maintenancetool.sh"), tool)
                && QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    bool isValid() const
    {
        return dir.isValid() && copied;
    }
    QString path() const
    {
        return dir.path();
    }

    bool setAnswer(const QByteArray& answer)
    {
        QFile file(dir.filePath(QStringLiteral("maintenancetool-answer.txt")));
        return file.open(QIODevice::WriteOnly) && file.write(answer) == answer.size();
    }

    // What the stand-in recorded of its "--updater" starts.
    QByteArray updaterLog() const
    {
        QFile file(dir.filePath(QStringLiteral("maintenancetool-updater.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir;
    bool copied = true;
};
