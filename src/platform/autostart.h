#pragma once

#include <QString>

// Launch of the client at the user's sign-in, read and written live.
// Windows: the per-user Run key holds this executable's quoted native path under its base name.
// Linux: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/<base name>.desktop, runs this executable.
// A hidden launch adds --hidden: the client starts in the notification area.
class AutoStart
{
public:
    // Whether the registration names this executable, hidden or not.
    static bool isEnabled();
    // Whether the registration names this executable with --hidden.
    static bool isHidden();
    // Writes or removes the registration; returns isEnabled() as read back afterwards.
    static bool setEnabled(bool enable, bool hidden = false);

#ifdef Q_OS_WIN
    static const QString runKeyPath;
#else
    static QString entryPath();
    // The entry's text, its Exec line naming this executable; empty when the path cannot be named there.
    static QByteArray entryText(bool hidden = false);
#endif

private:
    static QString valueName();
    // Changes the registration; isEnabled() tells what came of it.
    static void write(bool enable, bool hidden);
};
