#pragma once

#include <QElapsedTimer>
#include <QString>

// The service's log: every Qt message goes to its own log file (appended) and to standard
// error, which systemd's journal or the development host's log file picks up. The file is for
// root only (it names users and their files), and it rotates: at the size cap the file becomes
// FILE.1 (replacing the one before) and a fresh file starts.
namespace ServiceLog {

constexpr qint64 defaultMaxSize = 10 * 1024 * 1024;

// Opens the file; on failure the service still logs to standard error.
bool install(const QString& filePath, qint64 maxSize = defaultMaxSize);
QString defaultFilePath();
// Log-safe form of text that came from a peer: everything but printable ASCII (control
// characters, line breaks of any kind, other Unicode) and the backslash written as an escape,
// length capped. The result never ends or fakes a line.
QString printable(const QString& text, int maxLength = 300);

} // namespace ServiceLog

// Refusals happen at the rate a hostile user chooses: at most `burst` lines per window, and one
// line with the number of the refusals left out once the next window lets a line through.
class RefusalLog
{
public:
    explicit RefusalLog(const QString& tag);
    void warn(const QString& text);

    static constexpr int burst = 20;
    static constexpr qint64 windowMs = 10000;

private:
    QString tag;
    QElapsedTimer window;
    int inWindow = 0;
    qint64 suppressed = 0;
};
