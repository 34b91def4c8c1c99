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
// checks the configuration against what the client's template can produce (ConfigurationCheck) and hands OpenVPN a
// private copy, and it opens the log file itself, only when it is a regular file of the user who
// runs the client, for OpenVPN's standard output and error.
//
// The management interface is OpenVPN's Unix socket in the run's private folder, which OpenVPN
// opens to the client's user alone (Windows: loopback TCP, where the template has it), so no
// other user can take its place or hold it. It is also guarded by the client's fresh secret per
// run: the configuration's management directive names a file of the user that only the user may
// read; the service copies the secret into its private folder beside the configuration copy, and
// that copy is the only one OpenVPN reads.
class OpenVpnLaunch
{
public:
    ~OpenVpnLaunch();
    OpenVpnLaunch(const OpenVpnLaunch&) = delete;
    OpenVpnLaunch& operator=(const OpenVpnLaunch&) = delete;

    // arguments: what follows the program in the client's command. peerUid: the user the client
    // runs as, -1 when unknown. Returns null with the reason in error when the run is refused.
    static std::unique_ptr<OpenVpnLaunch> prepare(const QStringList& arguments, qint64 peerUid, QString* error);

    // The arguments for OpenVPN: the private copy instead of the user's file, no log option, around
    // them the system's fixed ones (ProgramPaths::openVpnArguments).
    QStringList arguments() const;
    // The Unix socket of OpenVPN's management interface; empty where it is loopback TCP.
    QString managementSocket() const;
    // For the child's standard output and error; -1 once closed.
    int outputDescriptor() const;
    // The child has its own copy of the descriptor once it started.
    void closeOutput();

    static constexpr qint64 maxConfigurationSize = 64 * 1024;
    // What one run of OpenVPN may add to the user's log.
    static constexpr qint64 maxLogGrowth = 16 * 1024 * 1024;

private:
    OpenVpnLaunch() = default;
    // The system's side (openvpnlaunch_linux.cpp, openvpnlaunch_win.cpp): the checked private copies
    // of the user's configuration and secret, and the user's log opened for OpenVPN's output.
    bool prepareFiles(const QString& configPath, const QString& logPath, qint64 peerUid, QString* error);
    // The run's private folder, and the names of the copies in it; clientUser: the peer's account.
    bool makeFolder(qint64 peerUid, QString* clientUser, QString* error);
    // The configuration as ConfigurationCheck passed it, and the secret its management directive names.
    bool readChecked(const QString& configPath, qint64 peerUid, const QString& clientUser, QByteArray* copy,
        QByteArray* secret, QString* error) const;

    std::unique_ptr<QTemporaryDir> folder;
    QString copyPath;
    QString passwordCopyPath;
    QString socketPath;
    int output = -1;
};
