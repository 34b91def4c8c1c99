#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

// The committed assets as the windows use them: names, pixel sizes and typefaces.
class TestAssets : public QObject
{
    Q_OBJECT

private slots:
    void icons_data();
    void icons();
    void flags();
    void fonts_data();
    void fonts();
    void controlsStyle_data();
    void controlsStyle();
};

void TestAssets::icons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("greenswitch") << "greenswitch" << QSize(62, 67);
    QTest::newRow("redswitch") << "redswitch" << QSize(28, 30);
    QTest::newRow("droparrow_white") << "droparrow_white" << QSize(8, 4);
    QTest::newRow("droparrow_black") << "droparrow_black" << QSize(8, 4);
    QTest::newRow("settings_white") << "settings_white" << QSize(23, 23);
    QTest::newRow("settings_black") << "settings_black" << QSize(23, 23);
    QTest::newRow("close_white") << "close_white" << QSize(18, 18);
    QTest::newRow("close_black") << "close_black" << QSize(18, 18);
    // The header bar is 50 pixels high.
    QTest::newRow("vpn") << "vpn" << QSize(140, 32);
}

void TestAssets::icons()
{
    QFETCH(QString, name);
    const QImage image(QStringLiteral(":/resources/icons/%1.png").arg(name));
    QVERIFY2(!image.isNull(), qPrintable(name));
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
    QVERIFY(clear > 0);
    QVERIFY(inked > 0);
}

void TestAssets::flags()
{
    const QStringList files = QDir(QStringLiteral(":/resources/icons/flags")).entryList(QDir::Files);
    QVERIFY2(files.size() >= 258, qPrintable(QString::number(files.size())));
    const QRegularExpression name(QStringLiteral("^[a-z]{2,6}(-[a-z]{2,3})?\\.png$"));
    for (const QString& file : files) {
        QVERIFY2(name.match(file).hasMatch(), qPrintable(file));
        const QImage image(QStringLiteral(":/resources/icons/flags/") + file);
        QVERIFY2(image.size() == QSize(128, 96), qPrintable(file));
    }
    for (const char* code : { "us", "de", "th", "es-ct", "gb-eng", "gb-nir", "gb-sct", "gb-wls", "eu", "un" }) {
        QVERIFY2(files.contains(QLatin1String(code) + QLatin1String(".png")), code);
    }
}

void TestAssets::fonts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("weight");
    QTest::newRow("regular") << "Poppins-Regular.ttf" << int(QFont::Normal);
    QTest::newRow("bold") << "Poppins-Bold.ttf" << int(QFont::Bold);
}

void TestAssets::fonts()
{
    QFETCH(QString, file);
    QFETCH(int, weight);
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/resources/fonts/") + file);
    QVERIFY(id >= 0);
    QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList { QStringLiteral("Poppins") });
    QFontDatabase database;
    QCOMPARE(database.weight(
                 QStringLiteral("Poppins"), weight == QFont::Bold ? QStringLiteral("Bold") : QStringLiteral("Regular")),
        weight);
    // Both subsets made it in: basic and extended Latin.
    QFont font(QStringLiteral("Poppins"));
    font.setWeight(weight);
    QVERIFY(QFontMetrics(font).inFont(QChar(u'a')));
    QVERIFY(QFontMetrics(font).inFont(QChar(u'\u0142'))); // ł
}

void TestAssets::controlsStyle_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("style") << "Controls/Style"
                           << "Universal";
    QTest::newRow("material theme") << "Material/Theme"
                                    << "Dark";
    QTest::newRow("material accent") << "Material/Accent"
                                     << "#2b568a";
    QTest::newRow("material primary") << "Material/Primary"
                                      << "Red";
    QTest::newRow("material foreground") << "Material/Foreground"
                                         << "#8998aa";
    QTest::newRow("material background") << "Material/Background"
                                         << "#102847";
}

void TestAssets::controlsStyle()
{
    // Qt Quick Controls only look for the file at the resource root; elsewhere the Default style applies.
    const QString path = QStringLiteral(":/qtquickcontrols2.conf");
    QVERIFY(QFile::exists(path));
    QFETCH(QString, key);
    const QSettings conf(path, QSettings::IniFormat);
    QCOMPARE(conf.status(), QSettings::NoError);
    QTEST(conf.value(key).toString(), "value");
}

QTEST_MAIN(TestAssets)

#include "tst_assets.moc"
