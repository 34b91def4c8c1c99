#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (a session logging out, Ctrl+C) into a signal on the event loop, so that
// the client quits the way it does on the user's command: tunnel down, lock lifted, resolvers back.
// The handler only writes the signal number into a pipe; everything else runs on the GUI thread.
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
