#include "logger.h"

#include "foundation/logtag.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>

namespace {

// The stream the handler writes through; attached to the log file by initialize(). Like the
// logger it is never destroyed: the handler stays installed while static objects are torn down
// at exit, and their last messages must still find the stream.
QTextStream& logStream()
{
    static QTextStream* const stream = new QTextStream;
    return *stream;
}

// The handler may be called from any thread; one line must never interleave with another.
QMutex& writeMutex()
{
    static QMutex* const mutex = new QMutex(QMutex::Recursive);
    return *mutex;
}

} // namespace

Logger::Logger()
{
    setObjectName(QStringLiteral("Logger"));
}

Logger* Logger::instance()
{
    static Logger* const logger = new Logger();
    logger->initialize();
    return logger;
}

QString Logger::baseFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool Logger::initialize()
{
    QMutexLocker locker(&writeMutex());
    if (initialized) {
        return true;
    }

    const QString base = baseFolder();
    QDir dir(base);
    // These warnings keep Qt's spaced form (the tag included) and go to its default output: the
    // handler is not installed yet.
    if (!dir.exists(folderName) && !dir.mkpath(folderName)) {
        qWarning() << objectName() << ": "
                   << "Log folder does not exists or cannot be created: " << base << ", " << folderName;
        return false;
    }
    if (!dir.cd(folderName)) {
        qWarning() << objectName() << ": "
                   << "Cannot change path to log folder: " << base << ", " << folderName;
        return false;
    }

    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Time);
    int count = 0;
    for (const QFileInfo& entry : entries) {
        if (entry.completeSuffix() != extension) {
            continue;
        }
        ++count;
        if (count >= maxLogFiles) {
            QFile::remove(entry.absoluteFilePath());
        }
    }

    fileName = QStringLiteral("%1-app.%2").arg(QDateTime::currentDateTime().toString(fileNameDateFormat), extension);
    qSetMessagePattern(QStringLiteral("%{time %1}\t%{type}\t%{message}").arg(timeFormat));

    file.setFileName(dir.filePath(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return false;
    }

    logStream().setDevice(&file);
    initialized = true;
    qInstallMessageHandler(&Logger::messageHandler);
    folderPath = dir.path();
    return true;
}

void Logger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString simplified = message.simplified();
    if (simplified.isEmpty()) {
        return;
    }
    const QString line = qFormatLogMessage(type, context, simplified);

    QMutexLocker locker(&writeMutex());
    instance();
    QTextStream& stream = logStream();
    stream << line << '\n';
    stream.flush();
}

void Logger::separator(const QString& tag, const QString& title)
{
    tagged(qInfo(), tag) << QStringLiteral("========== %1 ==========").arg(title.toUpper());
}

QString Logger::vpnLogFilePath()
{
    const QString base = baseFolder();
    QDir dir(base);
    if (!dir.exists(folderName) || !dir.cd(folderName)) {
        qWarning() << objectName() << ": "
                   << "Log folder doesn't exist or cannot be accessed: " << base;
        return QString();
    }
    // Only the file name changes: a "-app" in the folder path (a user named "my-app") must stay.
    return dir.filePath(QString(fileName).replace(QStringLiteral("-app"), QStringLiteral("-vpn")));
}

QString Logger::folder() const
{
    return folderPath;
}
