#pragma once

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

class QQmlComponent;
class QQmlEngine;
class QQuickItem;
class UiStyle;

// Test aid: the light and the dark built-in style side by side. Controls read the context property
// "uiStyle", so create() makes an object in a child context that carries the chosen style.
class StyleProvider : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject* light READ light CONSTANT)
    Q_PROPERTY(QObject* dark READ dark CONSTANT)

public:
    explicit StyleProvider(QObject* parent = nullptr);

    QObject* light() const;
    QObject* dark() const;

    // Creates the component under parent, with uiStyle set to the dark or the light style.
    Q_INVOKABLE QObject* create(QQmlComponent* component, bool dark, QQuickItem* parent);
    Q_INVOKABLE void clearClipboard();
    // From now on every console and log message is also kept for takeMessages().
    Q_INVOKABLE void startCapture();
    // Every message kept since the last call (debug lines included).
    Q_INVOKABLE QStringList takeMessages();

    // Registers the application's own types, the provider as singleton "TestSupport" 1.0 and sets
    // the light style as the engine's uiStyle.
    static void setUpEngine(QQmlEngine* engine);

private:
    QTemporaryDir m_lightFolder;
    QTemporaryDir m_darkFolder;
    UiStyle* m_light = nullptr;
    UiStyle* m_dark = nullptr;
};
