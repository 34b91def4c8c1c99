#include "logfolder.h"

#include "foundation/logger.h"

#include <QDebug>
#include <QDesktopServices>
#include <QUrl>

LogFolder::LogFolder(QObject* parent)
    : QObject(parent)
{ }

void LogFolder::openLogFolder()
{
    // fromLocalFile gives "file:///C:/..." on Windows and stays valid for "/home/..." elsewhere.
    const QUrl url = QUrl::fromLocalFile(Logger::instance()->folder());
    const QString urlText = url.toString();
    if (!QDesktopServices::openUrl(url)) {
        qWarning() << "Can't open openUrl" << urlText;
    }
}
