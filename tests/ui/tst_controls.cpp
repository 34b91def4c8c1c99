#include "ui/uistyle.h"

#include <QtQuick>
#include <QtQuickTest>

// The controls read the context property "uiStyle", here the built-in light style.
class Setup : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder; // holds no branding.ini

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->rootContext()->setContextProperty(QStringLiteral("uiStyle"), new UiStyle(m_folder.path(), this));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_controls, Setup)

#include "tst_controls.moc"
