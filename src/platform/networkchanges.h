#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

// Changes of the host's way out: a default route of the main table added, removed or replaced on an
// interface that is not a tunnel, or an uplink (an interface that carries such a route) going down
// or up. What happens on tunnels and to narrower routes (the tunnel's own set-up) is no change. A
// burst is reported once, debounceMs after its first change. Linux reads rtnetlink; Windows has
// the IP helper's route and interface notifications.
class NetworkChanges : public QObject
{
    Q_OBJECT

public:
    explicit NetworkChanges(QObject* parent = nullptr);
    ~NetworkChanges() override;

    // False when the notifications could not be subscribed to.
    bool isWatching() const;

    static constexpr int debounceMs = 500;

signals:
    void changed();

private:
    // The parts both systems share.
    void setUpDebounce();
    void noteChange();

    QTimer debounce;
    struct Watch;
    std::unique_ptr<Watch> watch;
};
