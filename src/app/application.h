#pragma once

#include <QObject>
#include <QQmlApplicationEngine>
#include <QString>

class QWindow;
class ServiceController;

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

    QQmlApplicationEngine engine;
    ServiceController* serviceController = nullptr;
};
