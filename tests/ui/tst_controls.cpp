#include "settings/uistyle.h"
#include "ui/dashcircle.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QtQuickTest>

namespace {
QStringList messages;
QtMessageHandler previousHandler = nullptr;

void keepMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    messages.append(message);
    previousHandler(type, context, message);
}
} // namespace

// Singleton "TestSupport" 1.0: the light and the dark built-in style side by side. Controls read the
// context property "uiStyle", so create() makes an object in a child context carrying the chosen one.
class StyleProvider : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject* light MEMBER m_light CONSTANT)
    Q_PROPERTY(QObject* dark MEMBER m_dark CONSTANT)

public:
    StyleProvider()
    {
        QFile ini(m_darkFolder.filePath(QStringLiteral("branding.ini")));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write("[Main]\nbrandingEnabled=true\ndarkStyle=true\n");
        }
        ini.close();
        m_light = new UiStyle(m_lightFolder.path(), this);
        m_dark = new UiStyle(m_darkFolder.path(), this);
    }

    Q_INVOKABLE QObject* create(QQmlComponent* component, bool dark, QQuickItem* parent)
    {
        auto* context = new QQmlContext(QQmlEngine::contextForObject(parent));
        context->setContextProperty(QStringLiteral("uiStyle"), dark ? m_dark : m_light);
        auto* item = qobject_cast<QQuickItem*>(component->beginCreate(context));
        item->setParent(parent);
        item->setParentItem(parent);
        component->completeCreate();
        context->setParent(item);
        return item;
    }
    Q_INVOKABLE void clearClipboard()
    {
        QGuiApplication::clipboard()->clear();
    }
    // Every console message since the last call. The test logger installs its own handler for each
    // file, so chain in front of whatever is current.
    Q_INVOKABLE QStringList takeMessages()
    {
        const QtMessageHandler current = qInstallMessageHandler(keepMessage);
        previousHandler = current != keepMessage ? current : previousHandler;
        QStringList taken;
        taken.swap(messages);
        return taken;
    }

private:
    QTemporaryDir m_lightFolder;
    QTemporaryDir m_darkFolder;
    QObject* m_light = nullptr;
    QObject* m_dark = nullptr;
};

// The registrations the application makes, the provider, and the light style as the engine's uiStyle.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        static const int provider = [] {
            qmlRegisterSingletonType(
                QUrl(QStringLiteral("qrc:/qml/controls/FontFactory.qml")), "VPNClient", 1, 0, "FontFactory");
            qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
            return qmlRegisterSingletonType<StyleProvider>(
                "TestSupport", 1, 0, "TestSupport", [](QQmlEngine*, QJSEngine*) -> QObject* {
                    return new StyleProvider;
                });
        }();
        engine->rootContext()->setContextProperty(
            QStringLiteral("uiStyle"), engine->singletonInstance<StyleProvider*>(provider)->property("light"));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_controls, Setup)

#include "tst_controls.moc"
