#pragma once

#include <QFile>
#include <QObject>
#include <QString>

// Turns every Qt log message of the process into a line of one log file per run.
class Logger : public QObject
{
    Q_OBJECT

public:
    static Logger* instance();

    bool initialize();
    // The folder of this run's log files (empty before initialize()).
    QString folder() const;

    static void separator(const QString& tag, const QString& title);
    QString vpnLogFilePath();

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

private:
    Logger();
    QString baseFolder() const;

    QFile file;
    QString fileName;
    QString timeFormat { QStringLiteral("yyyy-MM-dd hh:mm:ss") };
    QString folderName { QStringLiteral("logs") };
    QString extension { QStringLiteral("log") };
    QString folderPath;
    QString fileNameDateFormat { QStringLiteral("yyyy-MM-dd_hh-mm-ss") };
    bool initialized = false;
    int maxLogFiles = 10;
};
