#pragma once

#include "lockdownmode.h"
#include "peeruser.h"

#include <QString>

#include <functional>

class ProgramRunner;
class UserLog;

// Puts lockdown in place as the service holds it: at the service's start as its state file says,
// and whenever a client changes it (the state is kept first, so that it holds through restarts).
class LockdownKeeper
{
public:
    // stateFolder: where LockdownMode keeps its file. activity: where the changes are logged.
    LockdownKeeper(const QString& stateFolder, ProgramRunner* runner, UserLog* activity);

    // At the service's start. (The tool's runs come before any client's: they are queued first.)
    void restore();
    // user, who: the client's, for the log. done is called once the tool ended.
    void change(
        const LockdownMode::State& state, const QString& user, const QString& who, const std::function<void()>& done);
    // The status line for the user that says whether lockdown is on, and whose it is when this
    // user may not lift it.
    QString line(const PeerUser& user) const;
    // Root and the user who turned it on may lift or change it; anyone may turn it on.
    bool mayChange(const PeerUser& user) const;
    // Who holds it, for the log.
    QString holder() const;
    // The folder of the state file.
    QString stateFolder() const;

private:
    // user: whose command it serves (the lines count against that user); none for the service's own.
    void apply(const QString& user = QString(), const std::function<void()>& done = {});

    LockdownMode mode;
    LockdownMode::State state;
    ProgramRunner* runner;
    UserLog* activity;
};
