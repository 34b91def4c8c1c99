#include "ui/uistyle.h"

#include <QtQuick>
#include <QtQuickTest>

// Singleton "TestSupport" 1.0: the controls read the context property "uiStyle", here the built-in light style.
class Setup : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder; // holds no branding.ini

public:
    // The current test fails unless this console line comes.
    Q_INVOKABLE void expectLine(const QString& line)
    {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        qmlRegisterSingletonInstance("TestSupport", 1, 0, "TestSupport", this);
        engine->rootContext()->setContextProperty(QStringLiteral("uiStyle"), new UiStyle(m_folder.path(), this));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_controls, Setup)

#include "tst_controls.moc"
