#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

// The committed assets as the windows use them: names, pixel sizes and typefaces.
class TestAssets : public QObject
{
    Q_OBJECT

private slots:
    void icons_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("greenswitch") << QSize(62, 67);
        QTest::newRow("redswitch") << QSize(28, 30);
        QTest::newRow("droparrow_white") << QSize(8, 4);
        QTest::newRow("droparrow_black") << QSize(8, 4);
        QTest::newRow("settings_white") << QSize(23, 23);
        QTest::newRow("settings_black") << QSize(23, 23);
        QTest::newRow("close_white") << QSize(18, 18);
        QTest::newRow("close_black") << QSize(18, 18);
        QTest::newRow("vpn") << QSize(140, 32); // within the 50-pixel header bar
    }

    void icons()
    {
        const QImage image(QStringLiteral(":/resources/icons/%1.png").arg(QTest::currentDataTag()));
        QTEST(image.size(), "size");
        // Drawn on a transparent ground, and not blank.
        int clear = 0;
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                clear += qAlpha(image.pixel(x, y)) == 0 ? 1 : 0;
                inked += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
            }
        }
        QVERIFY(clear > 0 && inked > 0);
    }

    void flags()
    {
        const QStringList files = QDir(QStringLiteral(":/resources/icons/flags")).entryList(QDir::Files);
        QVERIFY2(files.size() >= 258, qPrintable(QString::number(files.size())));
        const QRegularExpression name(QStringLiteral("^[a-z]{2,6}(-[a-z]{2,3})?\\.png$"));
        for (const QString& file : files) {
            QVERIFY2(name.match(file).hasMatch(), qPrintable(file));
            QVERIFY2(
                QImage(QStringLiteral(":/resources/icons/flags/") + file).size() == QSize(128, 96), qPrintable(file));
        }
        for (const char* code : { "us", "de", "es-ct", "gb-eng", "gb-nir", "eu", "un" }) {
            QVERIFY2(files.contains(QLatin1String(code) + QLatin1String(".png")), code);
        }
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("style");
        QTest::addColumn<int>("weight");
        QTest::newRow("Poppins-Regular.ttf") << "Regular" << int(QFont::Normal);
        QTest::newRow("Poppins-Bold.ttf") << "Bold" << int(QFont::Bold);
    }

    void fonts()
    {
        QFETCH(QString, style);
        QFETCH(int, weight);
        const int id
            = QFontDatabase::addApplicationFont(QStringLiteral(":/resources/fonts/") + QTest::currentDataTag());
        QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList { QStringLiteral("Poppins") });
        QCOMPARE(QFontDatabase().weight(QStringLiteral("Poppins"), style), weight);
        // Both subsets made it in: basic and extended Latin.
        QFont font(QStringLiteral("Poppins"));
        font.setWeight(weight);
        QVERIFY(QFontMetrics(font).inFont(QChar(u'a')) && QFontMetrics(font).inFont(QChar(u'\u0142'))); // ł
    }
};

QTEST_MAIN(TestAssets)

#include "tst_assets.moc"
