// The log lines of this process ("type<TAB>message", as the log file has them) since the last clear();
// capture() starts collecting.
#pragma once

#include <QMutex>
#include <QStringList>

namespace testlog {
inline QMutex mutex;
inline QStringList captured;
inline QtMessageHandler passedOn = nullptr;
inline QStringList lines()
{
    QMutexLocker lock(&mutex);
    return captured;
}
inline int count(const QString& text)
{
    return lines().filter(text).size();
}
inline void clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}
// passOn: every line also goes to the handler installed before (the test's output, the log file).
inline void capture(bool passOn = false)
{
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
              static const char* const names[] = { "debug", "warning", "critical", "fatal", "info" };
              {
                  QMutexLocker lock(&mutex);
                  captured << QLatin1String(names[type]) + QLatin1Char('\t') + message;
              }
              if (passedOn) {
                  passedOn(type, context, message);
              }
          });
    passedOn = passOn ? previous : nullptr;
}
} // namespace testlog
