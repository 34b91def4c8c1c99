// The Linux side of the tunnel adapters: persistent TUN/TAP interfaces from sysfs, cleared with ip.
#include "tunneladapters.h"

#ifndef Q_OS_WIN

#include "foundation/logtag.h"
#include "toolsupport.h"

#include <QDir>
#include <QFile>

namespace {

const QString tag = QStringLiteral("TunnelAdapters");

QString readSysFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.read(64)).trimmed() : QString();
}

} // namespace

QStringList TunnelAdapters::freeAdapters()
{
    QStringList adapters;
    const QString classFolder = QStringLiteral("/sys/class/net");
    const QStringList names = QDir(classFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        bool ok = false;
        const uint flags
            = readSysFile(classFolder + QLatin1Char('/') + name + QStringLiteral("/tun_flags")).toUInt(&ok, 0);
        // IFF_PERSIST 0x0800, with IFF_TUN 0x0001 or IFF_TAP 0x0002: an adapter that outlives its program.
        if (!ok || (flags & 0x0800) == 0 || (flags & 0x0003) == 0) {
            continue;
        }
        // A held adapter has a carrier; a free one has none (or is down and has no value).
        if (readSysFile(classFolder + QLatin1Char('/') + name + QStringLiteral("/carrier")) != QLatin1String("1")) {
            adapters.append(name);
        }
    }
    return adapters;
}

QStringList TunnelAdapters::clearFreeAdapters()
{
    const QStringList adapters = freeAdapters();
    const QString ip = ToolSupport::systemProgram(QStringLiteral("ip"));
    if (adapters.isEmpty() || ip.isEmpty()) {
        return {};
    }
    QStringList cleared;
    for (const QString& adapter : adapters) {
        // Without its addresses and down: the kernel drops every route through it with them.
        const ToolSupport::RunResult flushed = ToolSupport::run(
            ip, { QStringLiteral("address"), QStringLiteral("flush"), QStringLiteral("dev"), adapter });
        const ToolSupport::RunResult down = ToolSupport::run(ip,
            { QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("dev"), adapter, QStringLiteral("down") });
        if (flushed.ok && down.ok) {
            cleared.append(adapter);
        } else {
            tagged(qWarning(), tag) << "Could not clear " << adapter << ": " << flushed.errorText << " "
                                    << down.errorText;
        }
    }
    tagged(qInfo(), tag) << "Cleared tunnel addresses and routes from " << cleared.join(QStringLiteral(", "));
    return cleared;
}

#endif
