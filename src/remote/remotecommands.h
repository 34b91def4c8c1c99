#pragma once

#include "protocol/remoteprotocol.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QObject>

#include <functional>

class ConnectionStatus;
class ProblemReport;
class ServerListModel;
class Settings;
class VpnCore;

// Carries out the command line's requests with the objects the window and the tray use: the
// connection controller and what the window says about it, the server list and its filter (and its
// quickest pick), the settings, the problem report. It decides nothing of its own beyond when a request has its answer,
// and bounds each wait.
class RemoteCommands
{
    Q_DECLARE_TR_FUNCTIONS(RemoteCommands)

public:
    using Reply = std::function<void(const QJsonObject&)>;

    // report: none where the client makes no reports.
    RemoteCommands(VpnCore* core, ConnectionStatus* status, ServerListModel* model, Settings* settings,
        ProblemReport* report = nullptr);

    // Answers once through done, unless context is destroyed first (the peer went away).
    void run(const RemoteProtocol::Request& request, QObject* context, const Reply& done);

    // The bounds of the waits, longer than the controller's own limits so that its answer comes first.
    static constexpr int listWaitMs = 30 * 1000;
    static constexpr int connectWaitMs = 75 * 1000;
    static constexpr int disconnectWaitMs = 30 * 1000;
    // The report's own service query waits 5 s; the logs are bounded.
    static constexpr int reportWaitMs = 40 * 1000;

private:
    QJsonObject status() const;
    void connectTo(const QString& location, QObject* context, const Reply& done);
    void disconnect(QObject* context, const Reply& done);
    void locations(const QString& search, QObject* context, const Reply& done);
    void writeReport(const QString& path, QObject* context, const Reply& done);
    // Runs step once the server list holds servers, or answers that it did not come in time.
    void whenListReady(QObject* context, const Reply& done, const std::function<void()>& step);
    // Calls check at once and at each change of the status until it answers, or answers timedOut
    // after ms.
    void waitFor(QObject* context, int ms, const QString& timedOut, const Reply& done,
        const std::function<bool(const Reply&)>& check);

    VpnCore* core;
    ConnectionStatus* connectionStatus;
    ServerListModel* model;
    Settings* settings;
    ProblemReport* report;
};
