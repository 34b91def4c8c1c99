#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the process's log lines while it lives, so a test can check what was logged.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    QStringList lines() const;
    int count(const QString& text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    QtMessageHandler previous = nullptr;
};
