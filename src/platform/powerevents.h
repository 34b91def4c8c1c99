#pragma once

#include <QObject>

#include <memory>

// The host going to sleep and waking up. On Linux: logind's PrepareForSleep on the system bus (the
// bus DBUS_SYSTEM_BUS_ADDRESS names, where set), accepted only from the owner of logind's name. On
// Windows: the power broadcast to the application's windows.
class PowerEvents : public QObject
{
    Q_OBJECT

public:
    explicit PowerEvents(QObject* parent = nullptr);
    ~PowerEvents() override;

    // False when the host's notices cannot reach this client (no system bus).
    bool isWatching() const;

signals:
    void aboutToSleep();
    void resumed();

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    struct Watch;
    std::unique_ptr<Watch> watch;
};
