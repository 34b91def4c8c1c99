#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QtGlobal>

// The service's log: every Qt message goes to its own log file (appended) and to standard
// error, which systemd's journal or the development host's log file picks up. The file is for
// root only (it names users and their files), and it rotates: at the size cap the file becomes
// FILE.1, the older ones move up to FILE.N (the oldest goes) and a fresh file starts.
namespace ServiceLog {

constexpr qint64 defaultMaxSize = 10 * 1024 * 1024;
constexpr int defaultKeep = 5;

// Opens the file; on failure the service still logs to standard error. keep: older files kept.
bool install(const QString& filePath, qint64 maxSize = defaultMaxSize, int keep = defaultKeep);
QString defaultFilePath();
// Log-safe form of text that came from a peer: everything but printable ASCII (control
// characters, line breaks of any kind, other Unicode) and the backslash written as an escape,
// length capped. The result never ends or fakes a line.
QString printable(const QString& text, int maxLength = 300);

} // namespace ServiceLog

// What users cause to be logged (refusals, their commands and the runs of those) happens at the
// rate a hostile user chooses. Each key (a user) has a bucket of `burst` bytes of log that refills
// at `perSecond` bytes; a line finding too little in it is only counted, and the count is logged
// with that key's next line. Long lines cost what they are long. One user's flood never hides
// another user's lines, nor rotates them away in hours. The service's own lines (no key) share a
// bucket of their own: what a user makes the service do on its own account is bounded too.
class UserLines;

class UserLog
{
public:
    UserLog(const QString& tag, int burstBytes, int bytesPerSecond);
    void warn(const QString& key, const QString& text);
    void info(const QString& key, const QString& text);
    // With the tag of another part of the service.
    void write(QtMsgType type, const QString& lineTag, const QString& key, const QString& text);
    // A key never limited (root's).
    void exempt(const QString& key);
    // Where each line logged about a user is kept for that user's "query: log" as well.
    void keepLines(UserLines* lines);

    // Keys remembered at once; beyond, all further keys share one bucket.
    static constexpr int maxKeys = 256;
    // What a line costs beside its text: the time, the type and the tag.
    static constexpr int lineOverhead = 48;

private:
    struct Bucket
    {
        QElapsedTimer filled;
        double bytes = 0;
        qint64 suppressed = 0;
    };
    QString tag;
    int burst;
    int perSecond;
    QString exemptKey;
    UserLines* kept = nullptr;
    QHash<QString, Bucket> buckets;
};
