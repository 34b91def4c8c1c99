#include "testclient.h"

#include <QMutex>

namespace {
QMutex mutex;
QStringList captured;
} // namespace

LogCapture::LogCapture()
{
    clear();
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context)
    static const char* const names[] = { "debug", "warning", "critical", "fatal", "info" };
    QMutexLocker lock(&mutex);
    captured << QStringLiteral("%1\t%2").arg(QLatin1String(names[type]), message);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

int LogCapture::count(const QString& text) const
{
    QMutexLocker lock(&mutex);
    int n = 0;
    for (const QString& line : captured) {
        n += line.contains(text) ? 1 : 0;
    }
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}
