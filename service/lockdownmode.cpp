#include "lockdownmode.h"

#include "foundation/utils.h"
#include "protocol/toolwords.h"
#include "servicefiles.h"

#include <deploymentconfig.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUrl>

namespace {

const QString fileName = QStringLiteral("lockdown");

} // namespace

LockdownMode::LockdownMode(const QString& stateFolder)
    : folder(stateFolder)
{ }

QString LockdownMode::filePath() const
{
    return folder + QLatin1Char('/') + fileName;
}

QString LockdownMode::defaultFolder()
{
    return ServiceFiles::stateFolder();
}

bool LockdownMode::isAddress(const QString& text)
{
    return !text.isEmpty() && Utils::canonicalAddress(text) == text;
}

QString LockdownMode::apiAddress()
{
    const QString host = QUrl(QStringLiteral("https://") + QString::fromUtf8(Deployment::apiHost)).host();
    return isAddress(host) ? host : QString();
}

LockdownMode::State LockdownMode::load(QString* problem) const
{
    State state;
    const QString path = filePath();
    bool exists = false;
    const QString notOurs = ServiceFiles::ownFileProblem(path, &exists);
    if (!exists) {
        return state; // never turned on here
    }
    if (!notOurs.isEmpty()) {
        *problem = notOurs;
        state.on = true;
        return state;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileSize) {
        *problem = QStringLiteral("cannot read %1").arg(path);
        state.on = true;
        return state;
    }
    QString error;
    if (!parse(file.readAll(), &state, &error)) {
        *problem = QStringLiteral("%1: %2").arg(path, error);
        state = State();
        state.on = true;
    }
    return state;
}

bool LockdownMode::save(const State& state, QString* error) const
{
    if (!QDir().mkpath(folder)
        || !QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        *error = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    // Written whole or not at all: a crash while writing leaves the previous state.
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(serialize(state)) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(filePath(), file.errorString());
        return false;
    }
    return true;
}

QByteArray LockdownMode::serialize(const State& state)
{
    QByteArray text = state.on ? "lockdown on\n" : "lockdown off\n";
    text += state.allowLocal ? "local yes\n" : "local no\n";
    for (const QString& server : state.servers) {
        text += "server " + server.toLatin1() + '\n';
    }
    return text;
}

bool LockdownMode::parse(const QByteArray& text, State* state, QString* error)
{
    const QList<QByteArray> lines = text.split('\n');
    State parsed;
    // "lockdown on|off", "local yes|no", then "server ADDRESS" lines, and a final line end.
    if (lines.size() < 3 || !lines.last().isEmpty()) {
        *error = QStringLiteral("incomplete");
        return false;
    }
    if (lines.at(0) != "lockdown on" && lines.at(0) != "lockdown off") {
        *error = QStringLiteral("no \"lockdown on|off\" line first");
        return false;
    }
    if (lines.at(1) != "local yes" && lines.at(1) != "local no") {
        *error = QStringLiteral("no \"local yes|no\" line second");
        return false;
    }
    parsed.on = lines.at(0) == "lockdown on";
    parsed.allowLocal = lines.at(1) == "local yes";
    for (int i = 2; i < lines.size() - 1; ++i) {
        const QString address = QString::fromLatin1(lines.at(i).mid(7));
        if (!lines.at(i).startsWith("server ") || !isAddress(address) || parsed.servers.size() >= maxServers) {
            *error = QStringLiteral("line %1 is not \"server ADDRESS\"").arg(i + 1);
            return false;
        }
        parsed.servers.append(address);
    }
    *state = parsed;
    return true;
}

QStringList LockdownMode::toolArguments(const State& state)
{
    if (!state.on) {
        return ToolWords::disableLockdown();
    }
    QStringList addresses = state.servers;
    const QString api = apiAddress();
    if (!api.isEmpty() && !state.servers.contains(api)) {
        addresses.append(api);
    }
    return ToolWords::enableLockdown(addresses, state.allowLocal);
}
