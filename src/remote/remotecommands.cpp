#include "remotecommands.h"

#include "connection/problemreport.h"
#include "connection/vpncore.h"
#include "servers/serverfiltermodel.h"
#include "servers/serverlistmodel.h"
#include "settings/settings.h"
#include "ui/connectionstatus.h"

#include <QJsonArray>
#include <QMetaEnum>
#include <QTimer>

#include <memory>
#include <utility>

using RemoteProtocol::Outcome;
using RemoteProtocol::reply;
using RemoteProtocol::Word;

namespace {

// The word the command line shows for the window's state: its enum key, in lower case.
QString stateKey(ConnectionStatus::State state)
{
    return QString::fromLatin1(QMetaEnum::fromType<ConnectionStatus::State>().valueToKey(state)).toLower();
}

} // namespace

RemoteCommands::RemoteCommands(
    VpnCore* core, ConnectionStatus* status, ServerListModel* model, Settings* settings, ProblemReport* report)
    : core(core)
    , connectionStatus(status)
    , model(model)
    , settings(settings)
    , report(report)
{ }

void RemoteCommands::run(const RemoteProtocol::Request& request, QObject* context, const Reply& done)
{
    const QString first = request.arguments.value(0);
    switch (request.word) {
    case Word::Status:
        done(status());
        return;
    case Word::Connect:
        connectTo(first, context, done);
        return;
    case Word::Disconnect:
        disconnect(context, done);
        return;
    case Word::Locations:
        locations(first, context, done);
        return;
    case Word::Lock:
        settings->setKillswitchEnabled(first == QLatin1String("on"));
        settings->save();
        done(reply(Outcome::Done,
            settings->killswitchEnabled() ? tr("The network lock is on") : tr("The network lock is off")));
        return;
    case Word::Lockdown:
        // Another user's lockdown is theirs to lift (or an administrator's): say whose it is.
        if (first != QLatin1String("on") && !core->lockdownHolder().isEmpty()) {
            done(reply(Outcome::Failed, ConnectionStatus::lockdownHolderSentence(core->lockdownHolder())));
            return;
        }
        settings->setLockdownEnabled(first == QLatin1String("on"));
        settings->save();
        done(reply(Outcome::Done, settings->lockdownEnabled() ? tr("Lockdown is on") : tr("Lockdown is off")));
        return;
    case Word::Account:
        settings->setUserName(first);
        settings->setPassword(request.arguments.value(1));
        settings->save();
        done(reply(Outcome::Done, tr("The account is stored")));
        return;
    case Word::Report:
        writeReport(first, context, done);
        return;
    }
}

QJsonObject RemoteCommands::status() const
{
    const ConnectionView* view = core->view();
    QJsonObject answer = reply(Outcome::Done);
    answer.insert(QStringLiteral("state"), stateKey(connectionStatus->state()));
    answer.insert(QStringLiteral("stateText"), connectionStatus->stateText());
    answer.insert(QStringLiteral("problem"), connectionStatus->problemText());
    answer.insert(QStringLiteral("location"), model->locationText());
    answer.insert(QStringLiteral("server"), model->serverIp());
    answer.insert(QStringLiteral("tunnelIp"), core->tunnelIp());
    answer.insert(QStringLiteral("currentIp"), view->currentIp());
    answer.insert(QStringLiteral("time"), view->vpnOnlineTime());
    answer.insert(QStringLiteral("downloaded"), view->downloaded());
    answer.insert(QStringLiteral("uploaded"), view->uploaded());
    answer.insert(QStringLiteral("lock"), settings->killswitchEnabled());
    answer.insert(QStringLiteral("lockEngaged"), core->networkLockEngaged());
    answer.insert(QStringLiteral("lockdown"), settings->lockdownEnabled());
    answer.insert(QStringLiteral("lockdownBlocking"), core->trafficBlockedByLockdown());
    // Empty when this user may lift it.
    answer.insert(QStringLiteral("lockdownHolder"), core->lockdownHolder());
    return answer;
}

void RemoteCommands::connectTo(const QString& location, QObject* context, const Reply& done)
{
    whenListReady(context, done, [this, location, context, done] {
        const QString before = model->serverIp();
        // The list's own entry: round trip and load weighed as there.
        if (location == QLatin1String("quickest")) {
            if (!model->chooseQuickest()) {
                done(reply(Outcome::Failed, tr("No location to pick from")));
                return;
            }
        } else if (!location.isEmpty()) {
            ServerFilterModel filter;
            filter.setSourceModel(model);
            filter.setSearchText(location);
            if (filter.rowCount() == 0) {
                done(reply(Outcome::Failed, tr("No location matches \"%1\"").arg(location)));
                return;
            }
            model->updateCurrentServer(filter.index(0, 0).data(ServerListModel::Id).toInt());
        }
        const bool moved = model->serverIp() != before;
        if (connectionStatus->state() == ConnectionStatus::Connected && !moved) {
            done(reply(Outcome::Done, tr("Already connected to %1").arg(model->locationText())));
            return;
        }
        // Off, the window's switch decides (and says why it cannot); on, a new location restarts the
        // tunnel there.
        if (!connectionStatus->switchedOn()) {
            const QString refused = connectionStatus->press();
            if (!refused.isEmpty()) {
                done(reply(Outcome::Failed, refused));
                return;
            }
        } else if (moved) {
            core->connectToVpn();
        }
        waitFor(
            context, connectWaitMs, tr("The connection did not come up in time"), done, [this](const Reply& answer) {
                if (connectionStatus->state() == ConnectionStatus::Connected) {
                    answer(reply(Outcome::Done, tr("Connected to %1").arg(model->locationText())));
                    return true;
                }
                if (core->failure() != VpnCore::NoFailure && !core->vpnConnectionInProgress()) {
                    answer(reply(Outcome::Failed, connectionStatus->problemText()));
                    return true;
                }
                return false;
            });
    });
}

void RemoteCommands::disconnect(QObject* context, const Reply& done)
{
    if (!connectionStatus->switchedOn() && connectionStatus->state() != ConnectionStatus::Disconnecting) {
        done(reply(Outcome::Done, tr("Not connected")));
        return;
    }
    core->disconnectFromVpn();
    waitFor(context, disconnectWaitMs, tr("The connection did not end in time"), done, [this](const Reply& answer) {
        const ConnectionStatus::State state = connectionStatus->state();
        if (state != ConnectionStatus::Disconnected && state != ConnectionStatus::Blocked) {
            return false;
        }
        answer(reply(Outcome::Done, connectionStatus->stateText()));
        return true;
    });
}

void RemoteCommands::locations(const QString& search, QObject* context, const Reply& done)
{
    whenListReady(context, done, [this, search, done] {
        ServerFilterModel filter;
        filter.setSourceModel(model);
        filter.setSearchText(search);
        const int chosen = model->chosenRow();
        QJsonArray rows;
        for (int row = 0; row < filter.rowCount(); ++row) {
            const QModelIndex index = filter.index(row, 0);
            rows.append(QJsonObject {
                { QStringLiteral("id"), index.data(ServerListModel::Id).toInt() },
                { QStringLiteral("country"), index.data(ServerListModel::Country).toString() },
                { QStringLiteral("countryName"), index.data(ServerListModel::CountryName).toString() },
                { QStringLiteral("city"), index.data(ServerListModel::City).toString() },
                { QStringLiteral("name"), index.data(ServerListModel::Name).toString() },
                { QStringLiteral("load"), index.data(ServerListModel::Capacity).toInt() },
                { QStringLiteral("summary"), index.data(ServerListModel::Summary).toString() },
                { QStringLiteral("favourite"), index.data(ServerListModel::Favourite).toBool() },
                { QStringLiteral("chosen"), filter.mapToSource(index).row() == chosen },
            });
            const int roundTrip = index.data(ServerListModel::RoundTrip).toInt();
            if (roundTrip >= 0) {
                QJsonObject row = rows.last().toObject();
                row.insert(QStringLiteral("latencyMs"), roundTrip);
                rows.replace(rows.size() - 1, row);
            }
        }
        QJsonObject answer = reply(Outcome::Done);
        answer.insert(QStringLiteral("locations"), rows);
        done(answer);
    });
}

void RemoteCommands::writeReport(const QString& path, QObject* context, const Reply& done)
{
    if (report == nullptr || report->busy()) {
        done(reply(Outcome::Failed, tr("A problem report is being written already")));
        return;
    }
    // The user's public addresses stay out: agreeing to them is the window's question.
    auto* waiter = new QObject(context);
    auto answered = std::make_shared<bool>(false);
    const auto answer = [waiter, answered, done](const QJsonObject& outcome) {
        if (!std::exchange(*answered, true)) {
            waiter->deleteLater();
            done(outcome);
        }
    };
    QObject::connect(report, &ProblemReport::written, waiter, [answer](const QString& written, const QString& error) {
        answer(error.isEmpty() ? reply(Outcome::Done, tr("The problem report is saved in %1").arg(written))
                               : reply(Outcome::Failed, error));
    });
    QTimer::singleShot(reportWaitMs, waiter, [answer] {
        answer(reply(Outcome::TimedOut, tr("The problem report was not written in time")));
    });
    report->write(path, false);
}

void RemoteCommands::whenListReady(QObject* context, const Reply& done, const std::function<void()>& step)
{
    waitFor(context, listWaitMs, tr("The server list has not arrived yet"), done, [this, step](const Reply&) {
        if (model->rowCount() == 0) {
            return false;
        }
        step();
        return true;
    });
}

void RemoteCommands::waitFor(QObject* context, int ms, const QString& timedOut, const Reply& done,
    const std::function<bool(const Reply&)>& check)
{
    if (check(done)) {
        return;
    }
    // Lives as long as the wait and never beyond the peer: its connections end with it.
    auto* waiter = new QObject(context);
    auto answered = std::make_shared<bool>(false);
    auto again = [waiter, answered, done, check] {
        if (!*answered && check(done)) {
            *answered = true;
            waiter->deleteLater();
        }
    };
    QObject::connect(connectionStatus, &ConnectionStatus::changed, waiter, again);
    // Queued: a new list restores the chosen server only after it announced its rows.
    QObject::connect(model, &ServerListModel::isEmptyChanged, waiter, again, Qt::QueuedConnection);
    QTimer::singleShot(ms, waiter, [waiter, answered, done, timedOut] {
        if (!std::exchange(*answered, true)) {
            waiter->deleteLater();
            done(reply(Outcome::TimedOut, timedOut));
        }
    });
}
