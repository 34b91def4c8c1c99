#pragma once

#include <QObject>

// Opens the folder of the log files in the desktop's file manager, for the settings window's button.
class LogFolder : public QObject
{
    Q_OBJECT

public:
    explicit LogFolder(QObject* parent = nullptr);

    Q_INVOKABLE void openLogFolder();
};
