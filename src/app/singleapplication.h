#pragma once

#include "platform/instancelock.h"

#include <QApplication>
#include <QString>

class QLocalServer;

// A QApplication of which one instance runs per user session and application id.
// The first instance holds a lock file and a local server; a later one finds the lock taken,
// isRunning() is true and it can pass a message to the first instance.
// A crashed first instance holds nothing any more: the system released its lock.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(const QString& appId, int& argc, char** argv);
    ~SingleApplication() override;

    bool isRunning() const;
    QString id() const;
    // Sends the message to the running instance; true when it confirmed receipt within the timeout.
    bool sendMessage(const QString& message, int timeoutMs = 5000);

signals:
    void messageReceived(const QString& message);

private:
    void onNewConnection();

    QString appId;
    QString serverName;
    InstanceLock lock;
    QLocalServer* server = nullptr;
    bool primary = false;
};
