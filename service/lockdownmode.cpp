#include "lockdownmode.h"

#include "foundation/utils.h"
#include "protocol/toolwords.h"
#include "servicefiles.h"
#include "statefolder.h"

#include <deploymentconfig.h>

#include <QDir>
#include <QUrl>

namespace {

const QString fileName = QStringLiteral("lockdown");

// A user's id or name as the file keeps it: printable ASCII of one line.
bool isHolderText(const QString& text)
{
    if (text.isEmpty() || text.size() > 256) {
        return false;
    }
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) {
            return false;
        }
    }
    return true;
}

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
    QByteArray text;
    bool missing = false;
    if (!StateFolder::read(filePath(), maxFileSize, &text, &missing, problem)) {
        state.on = true;
        return state;
    }
    if (missing) {
        return state; // never turned on here
    }
    QString error;
    if (!parse(text, &state, &error)) {
        *problem = QStringLiteral("%1: %2").arg(filePath(), error);
        state = State();
        state.on = true;
    }
    return state;
}

bool LockdownMode::save(const State& state, QString* error) const
{
    return StateFolder::write(filePath(), serialize(state), error);
}

QByteArray LockdownMode::serialize(const State& state)
{
    QByteArray text = state.on ? "lockdown on\n" : "lockdown off\n";
    text += state.allowLocal ? "local yes\n" : "local no\n";
    if (state.on && isHolderText(state.holder) && isHolderText(state.holderName)) {
        text += "holder " + state.holder.toLatin1() + '\n';
        text += "holder-name " + state.holderName.toLatin1() + '\n';
    }
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
    int next = 2;
    if (lines.size() > 4 && lines.at(2).startsWith("holder ") && lines.at(3).startsWith("holder-name ")) {
        parsed.holder = QString::fromLatin1(lines.at(2).mid(7));
        parsed.holderName = QString::fromLatin1(lines.at(3).mid(12));
        if (!isHolderText(parsed.holder) || !isHolderText(parsed.holderName)) {
            *error = QStringLiteral("line 3 or 4 is not \"holder ...\"");
            return false;
        }
        next = 4;
    }
    for (int i = next; i < lines.size() - 1; ++i) {
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
