#include "traypresenter.h"

#include "ui/productname.h"

#include <QCoreApplication>
#include <QIcon>

SystemTrayPresenter::SystemTrayPresenter(QObject* parent)
    : TrayPresenter(parent)
{
    connect(&tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            emit activated();
        }
    });
    connect(&tray, &QSystemTrayIcon::messageClicked, this, &TrayPresenter::messageClicked);
}

bool SystemTrayPresenter::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayPresenter::setIcon(const QString& path)
{
    tray.setIcon(QIcon(path));
}

void SystemTrayPresenter::setToolTip(const QString& text)
{
    tray.setToolTip(text);
}

void SystemTrayPresenter::show(QMenu* menu)
{
    tray.setContextMenu(menu);
    if (isAvailable()) {
        tray.show();
    }
}

void SystemTrayPresenter::showMessage(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon)
{
    if (!tray.isVisible()) {
        return;
    }
    // A desktop notification names its sender by the application name, which also names the
    // client's data folders ("vpnclient"): only the notification carries the program's own name.
    const QString applicationName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(ProductName::title());
    tray.showMessage(title, body, icon);
    QCoreApplication::setApplicationName(applicationName);
}
