#pragma once

#include <QString>

// The service's log: every Qt message goes to its own log file (appended) and to standard
// error, which systemd's journal or the development host's log file picks up.
namespace ServiceLog {

// Opens the file; on failure the service still logs to standard error.
bool install(const QString& filePath);
QString defaultFilePath();
// Log-safe form of text that came from a peer: control characters made visible, length capped.
QString printable(const QString& text, int maxLength = 300);

} // namespace ServiceLog
