#include <QCoreApplication>
#include <QTranslator>
#include <QtTest>

// The Russian catalogue is compiled into the resources and complete.
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

    void everyMessageIsTranslated()
    {
        QFile catalogue(QStringLiteral(VPN_SOURCE_DIR "/src/translations/vpnclient_ru.ts"));
        QVERIFY(catalogue.open(QIODevice::ReadOnly));
        const QByteArray text = catalogue.readAll();
        QVERIFY(text.count("<message>") > 0);
        QCOMPARE(text.count("type=\"unfinished\""), 0);
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
