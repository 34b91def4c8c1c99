#include "servicelog.h"

#include "foundation/logtag.h"
#include "servicefiles.h"
#include "userlines.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QtGlobal>

#include <cstdio>

namespace {

QFile* logFile = nullptr;
QString logPath;
qint64 logMaxSize = ServiceLog::defaultMaxSize;
int logKeep = ServiceLog::defaultKeep;
QMutex logMutex;

const char* typeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "DEBUG";
    case QtInfoMsg:
        return "INFO";
    case QtWarningMsg:
        return "WARNING";
    case QtCriticalMsg:
        return "CRITICAL";
    case QtFatalMsg:
        return "FATAL";
    }
    return "INFO";
}

// Called with the mutex held, after a write.
void rotateIfFull()
{
    if (logFile == nullptr || logFile->size() < logMaxSize) {
        return;
    }
    logFile->close();
    // FILE.N-1 becomes FILE.N (replacing it), ..., FILE becomes FILE.1.
    for (int older = logKeep; older >= 1; --older) {
        const QString from = older > 1 ? QStringLiteral("%1.%2").arg(logPath).arg(older - 1) : logPath;
        const QString to = QStringLiteral("%1.%2").arg(logPath).arg(older);
        ServiceFiles::moveReplacing(from, to);
    }
    QString error;
    QFile* fresh = ServiceFiles::openLog(logPath, &error);
    delete logFile;
    logFile = fresh;
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context)
    const QByteArray line = QStringLiteral("%1\t%2\t%3\n")
                                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
                                    QLatin1String(typeName(type)), message)
                                .toUtf8();
    QMutexLocker locker(&logMutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (logFile != nullptr) {
        logFile->write(line);
        logFile->flush();
        rotateIfFull();
    }
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

namespace ServiceLog {

bool install(const QString& filePath, qint64 maxSize, int keep)
{
    qInstallMessageHandler(handler);
    if (filePath.isEmpty()) {
        return false;
    }
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    QString error;
    QFile* file = ServiceFiles::openLog(filePath, &error);
    if (file == nullptr) {
        qWarning().noquote() << "ServiceLog: cannot open log file" << filePath << error;
        return false;
    }
    QMutexLocker locker(&logMutex);
    logFile = file;
    logPath = filePath;
    logMaxSize = qMax<qint64>(maxSize, 4096);
    logKeep = qBound(1, keep, 99);
    return true;
}

QString defaultFilePath()
{
    return ServiceFiles::logFilePath();
}

QString printable(const QString& text, int maxLength)
{
    QString result;
    const int length = qMin(text.size(), maxLength);
    result.reserve(length + 16);
    for (int i = 0; i < length; ++i) {
        const ushort c = text.at(i).unicode();
        if (c == '\\') {
            result += QLatin1String("\\\\");
        } else if (c < 0x20 || c == 0x7f) {
            result += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        } else if (c > 0x7f) {
            result += QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0'));
        } else {
            result += QChar(c);
        }
    }
    if (text.size() > maxLength) {
        result += QStringLiteral("...(%1 characters)").arg(text.size());
    }
    return result;
}

} // namespace ServiceLog

UserLog::UserLog(const QString& logTag, int burstBytes, int bytesPerSecond)
    : tag(logTag)
    , burst(burstBytes)
    , perSecond(bytesPerSecond)
{ }

void UserLog::exempt(const QString& key)
{
    exemptKey = key;
}

void UserLog::keepLines(UserLines* lines)
{
    kept = lines;
}

void UserLog::warn(const QString& key, const QString& text)
{
    write(QtWarningMsg, tag, key, text);
}

void UserLog::info(const QString& key, const QString& text)
{
    write(QtInfoMsg, tag, key, text);
}

void UserLog::write(QtMsgType type, const QString& lineTag, const QString& key, const QString& text)
{
    const auto out = [this, type, &lineTag, &key](const QString& line) {
        if (kept != nullptr) {
            kept->add(key, lineTag + QStringLiteral(": ") + line);
        }
        if (type == QtWarningMsg) {
            tagged(qWarning(), lineTag) << line;
        } else {
            tagged(qInfo(), lineTag) << line;
        }
    };
    if (!key.isEmpty() && key == exemptKey) {
        out(text);
        return;
    }
    const auto refill = [this](Bucket& bucket) {
        bucket.bytes = bucket.filled.isValid()
            ? qMin<double>(burst, bucket.bytes + double(bucket.filled.elapsed()) * perSecond / 1000.0)
            : burst;
        bucket.filled.start();
    };
    if (buckets.size() >= maxKeys && !buckets.contains(key)) {
        // Forget the users whose buckets are full again.
        for (auto it = buckets.begin(); it != buckets.end();) {
            refill(*it);
            if (it->bytes >= burst && it->suppressed == 0) {
                it = buckets.erase(it);
            } else {
                ++it;
            }
        }
    }
    Bucket& bucket = buckets[buckets.size() >= maxKeys && !buckets.contains(key) ? QStringLiteral("*") : key];
    refill(bucket);
    // Escaped text is ASCII: its length is its size in bytes.
    const double cost = double(text.size() + lineTag.size() + lineOverhead);
    if (bucket.bytes < cost) {
        ++bucket.suppressed;
        return;
    }
    bucket.bytes -= cost;
    if (bucket.suppressed > 0) {
        tagged(qWarning(), tag) << bucket.suppressed << " line(s) about "
                                << (key.isEmpty() ? QStringLiteral("the service") : key) << " not logged (more than "
                                << perSecond << " bytes a second)";
        bucket.suppressed = 0;
    }
    out(text);
}
