#include "openvpnpreparation.h"

#include "openvpnlaunch.h"
#include "wakepipe.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <mutex>
#include <thread>

struct OpenVpnPreparation::Reading
{
    std::mutex lock;
    bool done = false;
    bool abandoned = false;
    std::unique_ptr<OpenVpnLaunch> launch;
    QString error;
    // The thread writes a byte when it is done; the event loop watches the other end.
    int wake[2] = { -1, -1 };

    ~Reading()
    {
        WakePipe::close(wake);
    }
};

OpenVpnPreparation::OpenVpnPreparation(QObject* parent)
    : QObject(parent)
{ }

void OpenVpnPreparation::waitForReadings()
{
    QElapsedTimer waited;
    waited.start();
    for (const std::shared_ptr<Reading>& reading : qAsConst(readings)) {
        for (;;) {
            {
                const std::lock_guard<std::mutex> guard(reading->lock);
                if (reading->done) {
                    break;
                }
            }
            if (waited.elapsed() > fileDeadlineMs) {
                break;
            }
            QThread::msleep(5);
        }
    }
}

void OpenVpnPreparation::prepare(const QStringList& arguments, qint64 peerUid, const Done& done)
{
    if (const std::shared_ptr<Reading> earlier = readings.value(peerUid)) {
        const std::lock_guard<std::mutex> guard(earlier->lock);
        if (!earlier->done) {
            done(nullptr, QStringLiteral("an earlier reading of the files of uid %1 has not ended").arg(peerUid));
            return;
        }
        readings.remove(peerUid);
    }
    if (readings.size() >= maxReadings) {
        done(nullptr, QStringLiteral("%1 readings of user files under way").arg(readings.size()));
        return;
    }
    auto reading = std::make_shared<Reading>();
    if (!WakePipe::open(reading->wake)) {
        done(nullptr, QStringLiteral("no pipe"));
        return;
    }
    readings.insert(peerUid, reading);
    std::thread([reading, arguments, peerUid] {
        QString error;
        std::unique_ptr<OpenVpnLaunch> launch = OpenVpnLaunch::prepare(arguments, peerUid, &error);
        const std::lock_guard<std::mutex> guard(reading->lock);
        reading->launch = std::move(launch);
        reading->error = error;
        reading->done = true;
        WakePipe::wake(reading->wake[1]);
    }).detach();

    auto* watch = new QObject(this);
    auto* notifier = new QSocketNotifier(reading->wake[0], QSocketNotifier::Read, watch);
    auto* deadline = new QTimer(watch);
    deadline->setSingleShot(true);
    auto handled = std::make_shared<bool>(false);
    const auto finish = [this, watch, notifier, reading, peerUid, done, handled] {
        if (*handled) {
            return;
        }
        *handled = true;
        notifier->setEnabled(false);
        watch->deleteLater();
        settle(peerUid, reading, done);
    };
    // Whichever comes first; the other is gone with the watch.
    connect(notifier, &QSocketNotifier::activated, watch, [finish, deadline] {
        deadline->stop();
        finish();
    });
    connect(deadline, &QTimer::timeout, watch, finish);
    deadline->start(fileDeadlineMs);
}

void OpenVpnPreparation::settle(qint64 peerUid, const std::shared_ptr<Reading>& reading, const Done& done)
{
    std::shared_ptr<OpenVpnLaunch> launch;
    QString error;
    {
        const std::lock_guard<std::mutex> guard(reading->lock);
        if (reading->done) {
            launch = std::move(reading->launch);
            error = reading->error;
        } else {
            // The thread goes on alone; its user starts no other reading until it ends.
            reading->abandoned = true;
            error = QStringLiteral("the files of uid %1 were not read within %2 ms").arg(peerUid).arg(fileDeadlineMs);
        }
        if (reading->done && readings.value(peerUid) == reading) {
            readings.remove(peerUid);
        }
    }
    done(launch, error);
}
