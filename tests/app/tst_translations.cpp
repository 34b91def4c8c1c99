#include <QCoreApplication>
#include <QTranslator>
#include <QtTest>

// The Russian catalogue is compiled into the resources (tst_catalogue checks that it is complete).
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void russianCatalogueLoads()
    {
        QTranslator translator;
        QVERIFY(translator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("vpnclient"),
            QStringLiteral("_"), QStringLiteral(":/src/translations")));
        QCOMPARE(translator.translate("Application", "Skip"), QStringLiteral("Пропустить"));
        QVERIFY(!translator.translate("ServerListModel", "Not selected").isEmpty());

        // Any other locale stays in English.
        QTranslator english;
        QVERIFY(!english.load(QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("vpnclient"),
            QStringLiteral("_"), QStringLiteral(":/src/translations")));
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
