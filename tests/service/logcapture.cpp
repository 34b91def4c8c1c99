#include "logcapture.h"

namespace {
QStringList captured;
}

LogCapture::LogCapture()
{
    captured.clear();
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(type)
    Q_UNUSED(context)
    captured.append(message);
}

QStringList LogCapture::lines() const
{
    return captured;
}

int LogCapture::count(const QString& text) const
{
    int n = 0;
    for (const QString& line : captured) {
        n += line.contains(text) ? 1 : 0;
    }
    return n;
}

void LogCapture::clear()
{
    captured.clear();
}
