#include "problemreport.h"

#include "connection/vpncore.h"
#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/tarwriter.h"
#include "platform/programpaths.h"
#include "programconfig.h"
#include "settings/settings.h"

#include <QDateTime>
#include <QDir>
#include <QMetaProperty>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

const char* const tag = "ProblemReport";

QByteArray yesNo(bool value)
{
    return value ? "yes" : "no";
}

// Every setting but the account, by the names the store gives them.
QString settingsText()
{
    QStringList lines;
    const Settings* settings = Settings::instance();
    const QMetaObject* meta = settings->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QString name = QString::fromLatin1(property.name());
        if (name == QLatin1String("password") || name == QLatin1String("userName")) {
            continue;
        }
        const QVariant value = property.read(settings);
        lines << name + QStringLiteral(" = ")
                + (value.type() == QVariant::StringList ? value.toStringList().join(QStringLiteral(", "))
                                                        : value.toString());
    }
    lines << QStringLiteral("currentServerId = %1").arg(settings->currentServerId());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// The management secrets of this user's runs, from their files in the temporary folder.
QStringList managementSecrets()
{
    QStringList secrets;
    const QDir temp(QDir::tempPath());
    for (const QFileInfo& file : temp.entryInfoList({ QStringLiteral("vpn-management-*") }, QDir::Files)) {
        QFile secret(file.absoluteFilePath());
        if (file.size() < 1024 && secret.open(QIODevice::ReadOnly)) {
            secrets << QString::fromLatin1(secret.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
    }
    return secrets;
}

// The newest run logs with their OpenVPN companions, each at most its last maxLogBytes.
QList<QPair<QString, QByteArray>> clientLogs(const QString& folder)
{
    QList<QPair<QString, QByteArray>> logs;
    const QFileInfoList runs
        = QDir(folder).entryInfoList({ QStringLiteral("*-app.log") }, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QFileInfo& run : runs.mid(0, ProblemReport::maxLogFiles)) {
        const QString vpnLog = QString(run.fileName()).replace(QStringLiteral("-app."), QStringLiteral("-vpn."));
        for (const QString& name : { run.fileName(), vpnLog }) {
            QFile file(QDir(folder).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            file.seek(qMax<qint64>(0, file.size() - ProblemReport::maxLogBytes));
            logs.append({ name, file.readAll() });
        }
    }
    return logs;
}

} // namespace

ProblemReport::ProblemReport(VpnCore* vpnCore, const ServiceLogQuery& serviceLog, QObject* parent)
    : QObject(parent)
    , core(vpnCore)
    , askService(serviceLog)
{
    setObjectName(QLatin1String(tag));
}

QByteArray ProblemReport::archive(const Parts& parts, bool includePublicAddresses)
{
    // The longest first, so that a value inside another goes with it.
    const auto longestFirst = [](QStringList values) {
        values.removeAll(QString());
        std::sort(values.begin(), values.end(), [](const QString& a, const QString& b) {
            return a.size() > b.size();
        });
        return values;
    };
    const QStringList secrets = longestFirst(parts.secrets);
    const QStringList addresses = includePublicAddresses ? QStringList() : longestFirst(parts.publicAddresses);
    const auto clean = [&](QByteArray text) {
        for (const QString& secret : secrets) {
            text.replace(secret.toUtf8(), "[hidden]");
        }
        for (const QString& address : addresses) {
            text.replace(address.toUtf8(), "[address]");
        }
        if (parts.home.size() > 1) {
            text.replace(parts.home.toUtf8(), "~");
            text.replace(QDir::toNativeSeparators(parts.home).toUtf8(), "~");
        }
        return text;
    };
    TarWriter tar;
    QByteArray versions = "client: " + QByteArray(ProgramConfig::version) + "\nservice: "
        + (parts.serviceVersion.isEmpty() ? QByteArray("unknown (it did not answer)") : parts.serviceVersion.toUtf8())
        + "\nOpenVPN: " + (parts.openVpnVersion.isEmpty() ? QByteArray("unknown") : parts.openVpnVersion.toUtf8())
        + "\nsystem: " + QSysInfo::prettyProductName().toUtf8() + ", " + QSysInfo::kernelType().toUtf8() + ' '
        + QSysInfo::kernelVersion().toUtf8() + ", " + QSysInfo::currentCpuArchitecture().toUtf8() + '\n';
    tar.add(QStringLiteral("report/versions.txt"), clean(versions));
    tar.add(QStringLiteral("report/state.txt"), clean(parts.state.toUtf8()));
    tar.add(QStringLiteral("report/settings.txt"), clean(parts.settings.toUtf8()));
    tar.add(QStringLiteral("report/service.log"),
        clean(parts.serviceLines.join(QLatin1Char('\n')).toUtf8() + (parts.serviceLines.isEmpty() ? "" : "\n")));
    for (const auto& log : parts.clientLogs) {
        tar.add(QStringLiteral("report/logs/") + log.first, clean(log.second));
    }
    return tar.archive();
}

QStringList ProblemReport::publicAddressesIn(const QByteArray& log)
{
    QStringList found;
    static const QRegularExpression seen(QStringLiteral("finished, IP: ([0-9A-Fa-f.:]+)"));
    auto it = seen.globalMatch(QString::fromUtf8(log));
    while (it.hasNext()) {
        const QString address = it.next().captured(1);
        if (!found.contains(address)) {
            found << address;
        }
    }
    return found;
}

QString ProblemReport::suggestedPath() const
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::homePath();
    }
    return QDir(folder).filePath(QStringLiteral("korvex-report-%1.tar")
                                     .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
}

bool ProblemReport::busy() const
{
    return waiting > 0;
}

QString ProblemReport::stateText() const
{
    const Settings* settings = Settings::instance();
    QStringList lines;
    lines << QStringLiteral("connected: ") + QLatin1String(yesNo(core->vpnConnected()))
          << QStringLiteral("connecting: ") + QLatin1String(yesNo(core->vpnConnectionInProgress()))
          << QStringLiteral("failure: %1").arg(core->failure())
          << QStringLiteral("network lock: setting ") + QLatin1String(yesNo(settings->killswitchEnabled()))
            + QStringLiteral(", engaged ") + QLatin1String(yesNo(core->networkLockEngaged()))
          // The service holds the guard from Connected until OpenVPN ends.
          << QStringLiteral("tunnel guard: ") + QLatin1String(core->vpnConnected() ? "held" : "not held")
          << QStringLiteral("lockdown: setting ") + QLatin1String(yesNo(settings->lockdownEnabled()))
            + QStringLiteral(", blocking ") + QLatin1String(yesNo(core->trafficBlockedByLockdown()))
          << QStringLiteral("resolvers: ")
            + QLatin1String(core->vpnConnected() ? "the tunnel's" : "the user's own (restored)")
          << QStringLiteral("TUN: ")
            + (core->tunAvailable() ? QStringLiteral("available") : core->tunUnavailableText());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void ProblemReport::write(const QString& path, bool includePublicAddresses)
{
    if (busy()) {
        return;
    }
    target = path;
    withPublicAddresses = includePublicAddresses;
    const Settings* settings = Settings::instance();
    parts = Parts();
    parts.clientLogs = clientLogs(Logger::instance()->folder());
    parts.settings = settingsText();
    parts.state = stateText();
    parts.home = QDir::homePath();
    parts.secrets = settings->storedCredentials() + managementSecrets();
    parts.secrets << settings->password() << settings->userName();
    for (const auto& log : parts.clientLogs) {
        parts.publicAddresses += publicAddressesIn(log.second);
    }
    parts.publicAddresses += core->view()->currentIp();
    tagged(qInfo(), objectName()) << "Writing a problem report";

    // Two answers to wait for, each bounded: the service's lines and OpenVPN's version.
    waiting = 2;
    auto answered = std::make_shared<bool>(false);
    QTimer::singleShot(queryTimeoutMs, this, [this, answered] {
        if (!*answered) {
            *answered = true;
            finish();
        }
    });
    askService(this, [this, answered](const QStringList& lines, const QString& version) {
        if (!*answered) {
            *answered = true;
            parts.serviceLines = lines;
            parts.serviceVersion = version;
            finish();
        }
    });
    auto* openVpn = new QProcess(this);
    connect(openVpn, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [this, openVpn] {
        parts.openVpnVersion
            = QString::fromLocal8Bit(openVpn->readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
        openVpn->deleteLater();
        finish();
    });
    connect(openVpn, &QProcess::errorOccurred, this, [this, openVpn](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            openVpn->deleteLater();
            finish();
        }
    });
    QTimer::singleShot(queryTimeoutMs, openVpn, [openVpn] {
        openVpn->kill();
    });
    openVpn->start(ProgramPaths::openVpn(), { QStringLiteral("--version") });
}

void ProblemReport::finish()
{
    if (--waiting > 0) {
        return;
    }
    QSaveFile file(target);
    const QByteArray data = archive(parts, withPublicAddresses);
    QString error;
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = file.errorString();
    }
    parts = Parts();
    tagged(qInfo(), objectName()) << "Problem report " << (error.isEmpty() ? "written" : "not written: " + error);
    emit written(target, error);
}
