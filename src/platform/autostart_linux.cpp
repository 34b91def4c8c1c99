// The Linux side of launch at sign-in: an XDG autostart entry.
#include "autostart.h"

#ifndef Q_OS_WIN

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The executable as one argument of an Exec key: quoted, with the characters the quotes leave
// special escaped, then escaped again as a string value; "%" starts a field code there.
QByteArray execArgument(const QString& path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")) + QLatin1Char('"');
    return quoted.replace(QLatin1Char('%'), QStringLiteral("%%")).toUtf8();
}

} // namespace

QString AutoStart::entryPath()
{
    // QStandardPaths reads XDG_CONFIG_HOME (only an absolute one) and falls back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/%1.desktop").arg(valueName());
}

QByteArray AutoStart::entryText(bool hidden)
{
    const QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty() || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) {
        return QByteArray();
    }
    return "[Desktop Entry]\nType=Application\nName=" + valueName().toUtf8() + "\nExec=" + execArgument(path)
        + (hidden ? " --hidden" : "") + "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
}

namespace {

// The entry as it stands; empty when there is none or the executable cannot be named there.
QByteArray entryOnDisk()
{
    QFile entry(AutoStart::entryPath());
    if (AutoStart::entryText().isEmpty() || !entry.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    // An entry is small; one that is not ours (another copy's, or edited) does not count.
    return entry.read(64 * 1024);
}

} // namespace

bool AutoStart::isEnabled()
{
    const QByteArray text = entryOnDisk();
    return !text.isEmpty() && (text == entryText(false) || text == entryText(true));
}

bool AutoStart::isHidden()
{
    const QByteArray text = entryOnDisk();
    return !text.isEmpty() && text == entryText(true);
}

void AutoStart::write(bool enable, bool hidden)
{
    const QString path = entryPath();
    if (!enable) {
        QFile::remove(path);
        return;
    }
    const QByteArray text = entryText(hidden);
    QSaveFile entry(path);
    if (text.isEmpty() || !QDir().mkpath(QFileInfo(path).path()) || !entry.open(QIODevice::WriteOnly)
        || entry.write(text) != text.size()) {
        return;
    }
    entry.commit();
}

#endif
