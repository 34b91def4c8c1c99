#pragma once

#include "connection/networkinterfaces.h"

#include <QObject>
#include <QQmlApplicationEngine>
#include <QString>

class QWindow;

// The spine of the client: creates, wires and exposes every long-lived object, loads the
// scene, and takes it all down again in a fixed order.
class Application : public QObject
{
    Q_OBJECT

public:
    Application();
    ~Application() override;

    bool isInitialized() const;
    QWindow* mainWindow() const;
    void showMainWindow();

    // The build date in the compiler's "Mmm dd yyyy" form.
    static QString buildDate();

public slots:
    void messageReceived(const QString& message);

private:
    void writeBanner();

    // Declared before the engine: the engine is destroyed first, then the interfaces.
    NetworkInterfaces networkInterfaces;
    QQmlApplicationEngine engine;
};
