#include "servicelog.h"

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
    }
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

namespace ServiceLog {

bool install(const QString& filePath)
{
    qInstallMessageHandler(handler);
    if (filePath.isEmpty()) {
        return false;
    }
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    auto* file = new QFile(filePath);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qWarning().noquote() << "ServiceLog: cannot open log file" << filePath << file->errorString();
        delete file;
        return false;
    }
    QMutexLocker locker(&logMutex);
    logFile = file;
    return true;
}

QString defaultFilePath()
{
#ifdef Q_OS_WIN
    // A Windows service has no user profile worth using; ProgramData is the machine-wide place.
    return QDir::fromNativeSeparators(qEnvironmentVariable("ProgramData", QStringLiteral("C:/ProgramData")))
        + QStringLiteral("/VPNClient/vpn-service.log");
#else
    return QStringLiteral("/var/log/vpn-service.log");
#endif
}

QString printable(const QString& text, int maxLength)
{
    QString result;
    const int length = qMin(text.size(), maxLength);
    result.reserve(length + 16);
    for (int i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            result += c;
        }
    }
    if (text.size() > maxLength) {
        result += QStringLiteral("...(%1 characters)").arg(text.size());
    }
    return result;
}

} // namespace ServiceLog
