#pragma once

#include <QObject>
#include <QString>

// Process-wide settings. The stored fields come with the settings store; for now the static
// helpers the shell needs.
class Settings : public QObject
{
    Q_OBJECT

public:
    static Settings* instance();

    Q_INVOKABLE QString titleName() const;

    static QString qmlFileUrl(const QString& fileName);
    static QString appDataLocation();

private:
    Settings();
};
