#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Settings;

// The reconnection policy: a tunnel that ended with an exit nobody asked for (the crash marker,
// not critical) is tried again after one second, at most three times in a row, while automatic
// reconnection is on (the setting, followed as it changes). Reaching Connected, or giving up, starts
// the count again.
class Reconnection : public QObject
{
    Q_OBJECT

public:
    explicit Reconnection(Settings* settings, QObject* parent = nullptr);

    // Counts the attempt after a loss; true when it is to be retried (schedule() it).
    bool afterLoss(const QString& additionalData, bool critical);
    // due() follows the delay.
    void schedule();
    // An attempt waits for its delay.
    bool isPending() const;
    // Cancels a waiting attempt; true when one was waiting.
    bool cancel();
    // The user took over: a waiting attempt is cancelled and the count starts again.
    void reset();
    // The tunnel came up: true when that recovered a loss. The count starts again.
    bool tunnelUp();

    static constexpr int delay = 1000;
    static constexpr int maxAttempts = 3;

signals:
    // The delay is over: the attempt is to start now.
    void due();
    // A loss is retried after the delay; attempt counts from 1.
    void retrying(int attempt);
    void gaveUp();

private:
    QTimer timer;
    bool enabled = false;
    int attempts = 0;
};
