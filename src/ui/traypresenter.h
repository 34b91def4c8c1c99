#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

// What the client shows in the system's notification area. The tray icon and its messages go through
// this, so that a test can take its place: a headless display has no notification area.
class TrayPresenter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Whether the system has a notification area at all.
    virtual bool isAvailable() const = 0;
    // The picture, a resource path.
    virtual void setIcon(const QString& path) = 0;
    virtual void setToolTip(const QString& text) = 0;
    // The menu is the caller's; shown from the icon once.
    virtual void show(QMenu* menu) = 0;
    virtual void showMessage(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon) = 0;

signals:
    // The icon itself was clicked (not its menu).
    void activated();
    void messageClicked();
};

// The presenter of a real notification area.
class SystemTrayPresenter : public TrayPresenter
{
    Q_OBJECT

public:
    explicit SystemTrayPresenter(QObject* parent = nullptr);

    bool isAvailable() const override;
    void setIcon(const QString& path) override;
    void setToolTip(const QString& text) override;
    void show(QMenu* menu) override;
    void showMessage(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon) override;

private:
    QSystemTrayIcon tray;
};
