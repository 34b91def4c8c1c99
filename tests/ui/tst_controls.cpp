#include "ui/bundledfonts.h"
#include "ui/dashcircle.h"
#include "ui/uistyle.h"

#include <QtQuick>
#include <QtQuickTest>

// Singleton "TestSupport" 1.0 of the tests and the gallery: the light and the dark built-in style side by side.
// Controls read the context property "uiStyle", so create() makes an object in a child context carrying one.
class Setup : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject* light MEMBER m_light CONSTANT)
    Q_PROPERTY(QObject* dark MEMBER m_dark CONSTANT)

public:
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
    // The current test fails unless this console line comes.
    Q_INVOKABLE void expectLine(const QString& line)
    {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        QFile ini(m_folder.filePath(QStringLiteral("branding.ini")));
        ini.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        ini.write("[Main]\nbrandingEnabled=true\ndarkStyle=true\n");
        BundledFonts::install();
        m_light = new UiStyle(m_folder.filePath(QStringLiteral("none")), this);
        m_dark = new UiStyle(m_folder.path(), this);
        qmlRegisterType<DashCircle>("DashCircle", 1, 0, "DashCircle");
        qmlRegisterSingletonInstance("TestSupport", 1, 0, "TestSupport", this);
        engine->rootContext()->setContextProperty(QStringLiteral("uiStyle"), m_light);
    }

private:
    QTemporaryDir m_folder;
    QObject* m_light = nullptr;
    QObject* m_dark = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_controls, Setup)

#include "tst_controls.moc"
