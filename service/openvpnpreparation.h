#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class OpenVpnLaunch;

// Reads a user's files for an OpenVPN run (OpenVpnLaunch::prepare) on a thread of its own, within
// a deadline: a file system the user controls, or a file it holds a lease on, may keep that
// thread waiting, never the service. A user whose reading has not ended starts no second one.
class OpenVpnPreparation : public QObject
{
    Q_OBJECT

public:
    // launch: null when refused, with the reason.
    using Done = std::function<void(const std::shared_ptr<OpenVpnLaunch>& launch, const QString& error)>;

    explicit OpenVpnPreparation(QObject* parent = nullptr);

    // done is called once, from the event loop, or at once when the reading cannot start.
    void prepare(const QStringList& arguments, qint64 peerUid, const Done& done);
    // Lets the readings under way end (within the deadline): they use what the process tears down
    // after the service. One that hangs on a file system is left; it touches nothing meanwhile.
    void waitForReadings();

    // Before the user's files are read they may not be waited on for longer.
    static constexpr int fileDeadlineMs = 2000;

private:
    struct Reading;

    void settle(qint64 peerUid, const std::shared_ptr<Reading>& reading, const Done& done);

    QHash<qint64, std::shared_ptr<Reading>> readings;

    static constexpr int maxReadings = 8;
};
