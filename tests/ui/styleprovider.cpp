#include "styleprovider.h"

#include "settings/uistyle.h"
#include "ui/dashcircle.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>

namespace {

QStringList capturedMessages;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    capturedMessages.append(message);
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    }
}

} // namespace

StyleProvider::StyleProvider(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("StyleProvider"));
    QFile ini(m_darkFolder.filePath(QStringLiteral("branding.ini")));
    if (ini.open(QIODevice::WriteOnly)) {
        ini.write("[Main]\nbrandingEnabled=true\ndarkStyle=true\n");
        ini.close();
    }
    m_light = new UiStyle(m_lightFolder.path(), this);
    m_dark = new UiStyle(m_darkFolder.path(), this);
}

QObject* StyleProvider::light() const
{
    return m_light;
}

QObject* StyleProvider::dark() const
{
    return m_dark;
}

QObject* StyleProvider::create(QQmlComponent* component, bool dark, QQuickItem* parent)
{
    if (component == nullptr || parent == nullptr) {
        return nullptr;
    }
    QQmlContext* parentContext = QQmlEngine::contextForObject(parent);
    auto* context = new QQmlContext(parentContext != nullptr ? parentContext : qmlEngine(parent)->rootContext());
    context->setContextProperty(QStringLiteral("uiStyle"), dark ? m_dark : m_light);
    QObject* object = component->beginCreate(context);
    if (object == nullptr) {
        delete context;
        return nullptr;
    }
    object->setParent(parent);
    if (auto* item = qobject_cast<QQuickItem*>(object)) {
        item->setParentItem(parent);
    }
    component->completeCreate();
    context->setParent(object);
    return object;
}

void StyleProvider::clearClipboard()
{
    QGuiApplication::clipboard()->clear();
}

void StyleProvider::startCapture()
{
    // The test logger installs its own handler when a test file starts; chain in front of it.
    const QtMessageHandler current = qInstallMessageHandler(captureMessage);
    if (current != captureMessage) {
        previousHandler = current;
    }
    capturedMessages.clear();
}

QStringList StyleProvider::takeMessages()
{
    QStringList messages;
    messages.swap(capturedMessages);
    return messages;
}

void StyleProvider::setUpEngine(QQmlEngine* engine)
{
    // Registrations are process-wide; each test file gets a fresh engine and so a fresh provider.
    static int providerType = -1;
    if (providerType < 0) {
        qmlRegisterSingletonType(
            QUrl(QStringLiteral("qrc:/qml/controls/FontFactory.qml")), "VPNClient", 1, 0, "FontFactory");
        qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
        providerType = qmlRegisterSingletonType<StyleProvider>(
            "TestSupport", 1, 0, "TestSupport", [](QQmlEngine*, QJSEngine*) -> QObject* {
                return new StyleProvider;
            });
    }
    auto* provider = engine->singletonInstance<StyleProvider*>(providerType);
    engine->rootContext()->setContextProperty(QStringLiteral("uiStyle"), provider->light());
}
