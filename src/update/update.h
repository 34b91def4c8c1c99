#pragma once

#include <QObject>
#include <QString>

class QProcess;

// Asks the installer's maintenance tool beside the executable whether a newer version exists,
// and starts it in updater mode when the user agrees.
class Update : public QObject
{
    Q_OBJECT

public:
    explicit Update(QObject* parent = nullptr);

    // The installed version from the installer's component list, or empty.
    static QString currentVersion();
    static QString currentVersion(const QString& folder);

    void checkForUpdates();
    void startUpdater();

    static QString toolFileName();
    QString toolPath() const;

    // The folder that holds the maintenance tool; the executable's folder unless a test moves it.
    QString toolFolder() const;
    void setToolFolder(const QString& folder);

signals:
    void newVersionIsAvailable(const QString& newVersion);

private slots:
    void checkForUpdatesProcessFinished();

private:
    QProcess* checkProcess = nullptr;
    QString folder;
};
