#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (a session logging out, Ctrl+C, systemd stopping the service) into a signal
// on the event loop, so that the program ends in order: the client as on the user's command (tunnel
// down, lock lifted, resolvers back), the service with its programs ended. The handler only writes
// the signal number into a pipe; everything else runs on the main thread.
// One instance at a time.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void received(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* notifier = nullptr;
};
