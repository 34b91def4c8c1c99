#pragma once

#include <QElapsedTimer>
#include <QHash>
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

// Refusals happen at the rate a hostile user chooses. Each key (the user refused) has a bucket of
// `burst` lines that refills at `perSecond`; a refusal finding it empty is only counted, and the
// count is logged with that key's next line. One user's flood never hides another user's refusals.
class RefusalLog
{
public:
    explicit RefusalLog(const QString& tag);
    void warn(const QString& key, const QString& text);

    static constexpr int burst = 50;
    static constexpr int perSecond = 5;
    // Keys remembered at once; beyond, all further keys share one bucket.
    static constexpr int maxKeys = 256;

private:
    struct Bucket
    {
        QElapsedTimer filled;
        double lines = burst;
        qint64 suppressed = 0;
    };

    QString tag;
    QHash<QString, Bucket> buckets;
};
