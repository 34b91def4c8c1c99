#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// One OpenVPN run as the client asks for it, made safe to run with full rights.
//
// The client names a configuration file and a log file that belong to the user, who may change
// or replace either of them at any time. OpenVPN therefore never sees those paths: the service
// checks the configuration against what the client's template can produce and hands OpenVPN a
// private copy, and it opens the log file itself, only when it is a regular file of the user who
// runs the client, for OpenVPN's standard output and error.
class OpenVpnLaunch
{
public:
    ~OpenVpnLaunch();
    OpenVpnLaunch(const OpenVpnLaunch&) = delete;
    OpenVpnLaunch& operator=(const OpenVpnLaunch&) = delete;

    // arguments: what follows the program in the client's command. peerUid: the user the client
    // runs as, -1 when unknown. Returns null with the reason in error when the run is refused.
    static std::unique_ptr<OpenVpnLaunch> prepare(const QStringList& arguments, qint64 peerUid, QString* error);

    // Checks the text of a configuration and writes the copy OpenVPN gets: only directives of the
    // allow-list, in a plain form that OpenVPN reads the same way the check did.
    static bool checkConfiguration(const QByteArray& text, QByteArray* copy, QString* error);

    // The arguments for OpenVPN: the private copy instead of the user's file, no log option.
    QStringList arguments() const;
    // For the child's standard output and error; -1 once closed.
    int outputDescriptor() const;
    // The child has its own copy of the descriptor once it started.
    void closeOutput();

    static constexpr qint64 maxConfigurationSize = 64 * 1024;

private:
    OpenVpnLaunch() = default;

    std::unique_ptr<QTemporaryDir> folder;
    QString copyPath;
    int output = -1;
};
