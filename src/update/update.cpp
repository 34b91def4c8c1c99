#include "update.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

const QString toolBaseName = QStringLiteral("maintenancetool");
const QString toolSuffix = QStringLiteral(".exe");
const QString componentsFileName = QStringLiteral("components.xml");
const QString checkArgument = QStringLiteral("--checkupdates");
const QString updateArgument = QStringLiteral("--updater");
const QString noUpdateMarker = QStringLiteral("There are currently no updates available");
constexpr int checkTimeLimitMs = 10000;

QString tag()
{
    return QStringLiteral("Update");
}

} // namespace

Update::Update(QObject* parent)
    : QObject(parent)
    , folder(QCoreApplication::applicationDirPath())
{
    setObjectName(QStringLiteral("Update"));
}

QString Update::currentVersion()
{
    return currentVersion(QCoreApplication::applicationDirPath());
}

QString Update::currentVersion(const QString& folder)
{
    QFile file(folder + QLatin1Char('/') + componentsFileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QString();
    }

    QXmlStreamReader reader(file.readAll());
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("Version")) {
            const QString version = reader.readElementText();
            if (!reader.hasError()) {
                return version;
            }
        }
    }
    if (reader.hasError()) {
        tagged(qCritical(), tag()) << "Cannot parse XML: " << reader.errorString();
    }
    return QString();
}

QString Update::toolFileName()
{
    return toolBaseName + toolSuffix;
}

QString Update::toolPath() const
{
    return QDir::toNativeSeparators(QStringLiteral("%1/%2").arg(folder, toolFileName()));
}

QString Update::toolFolder() const
{
    return folder;
}

void Update::setToolFolder(const QString& toolFolder)
{
    folder = toolFolder;
}

void Update::checkForUpdates()
{
    if (!QFileInfo::exists(toolPath())) {
        tagged(qWarning(), objectName()) << QStringLiteral("Disabled, '%1' does not exists").arg(toolFileName());
        return;
    }

    if (checkProcess != nullptr) {
        // A still running earlier check is abandoned; deleting the process kills it.
        checkProcess->disconnect(this);
        checkProcess->deleteLater();
    }
    QProcess* process = new QProcess(this);
    checkProcess = process;
    process->setProcessChannelMode(QProcess::MergedChannels);

    tagged(qInfo(), objectName()) << "Checking...";

    // A crashed or killed tool gives no result and no signal.
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
        [this, process](int exitCode, QProcess::ExitStatus exitStatus) {
            Q_UNUSED(exitCode)
            if (exitStatus == QProcess::NormalExit && process == checkProcess) {
                checkForUpdatesProcessFinished();
            }
        });

    process->start(toolPath(), { checkArgument }, QIODevice::ReadWrite);
    QTimer::singleShot(checkTimeLimitMs, process, &QProcess::kill);
}

void Update::checkForUpdatesProcessFinished()
{
    const QString output = QString::fromUtf8(checkProcess->readAll());

    QString newVersion;
    if (!output.contains(noUpdateMarker, Qt::CaseSensitive)) {
        static const QRegularExpression versionPattern(QStringLiteral("version=\"[\\d,\\.]+\""));
        const QRegularExpressionMatch match = versionPattern.match(output);
        if (match.hasMatch()) {
            newVersion = match.captured(0).remove(QStringLiteral("version=")).remove(QLatin1Char('"'));
        }
    }

    if (newVersion.isEmpty()) {
        tagged(qInfo(), objectName()) << noUpdateMarker;
    } else {
        tagged(qInfo(), objectName()) << "Finished,  new version is available: " << newVersion;
    }
    emit newVersionIsAvailable(newVersion);
}

void Update::startUpdater()
{
    const QStringList arguments { updateArgument };
    qint64 pid = 0;
    const bool started = QProcess::startDetached(toolPath(), arguments, QString(), &pid);
    tagged(qInfo(), objectName()) << "Maintenance tool with params " << arguments
                                  << " started: " << Utils::boolToString(started) << ", pid: " << pid;
}
