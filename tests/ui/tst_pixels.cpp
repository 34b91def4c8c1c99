#include "ui/bundledfonts.h"
#include "ui/dashcircle.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QPainter>
#include <QSignalSpy>
#include <QTextLayout>
#include <QXmlStreamReader>
#include <QtTest>

// What the interface draws, checked on the pixels: the fonts and DashCircle (the icons load: tst_windows, tst_tray).
class TestPixels : public QObject
{
    Q_OBJECT

private slots:
    // Poppins in two real weights, and every character of the Russian catalogue in a bundled face of each
    // weight: laid out in Poppins, no line reaches for a system font.
    void fonts()
    {
        BundledFonts::install();
        QCOMPARE(QFontDatabase().weight("Poppins", "Regular"), int(QFont::Normal));
        QCOMPARE(QFontDatabase().weight("Poppins", "Bold"), int(QFont::Bold));
        QFile catalogue(QStringLiteral(VPN_SOURCE_DIR "/src/translations/vpnclient_ru.ts"));
        QVERIFY(catalogue.open(QIODevice::ReadOnly));
        QString text = QStringLiteral("ł"); // extended Latin too
        for (QXmlStreamReader reader(&catalogue); !reader.atEnd();) {
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("translation")) {
                text += reader.readElementText();
            }
        }
        QVERIFY(text.contains(QStringLiteral("Список серверов")));
        for (const bool bold : { false, true }) {
            QFont font(BundledFonts::family());
            font.setBold(bold);
            for (const QChar c : QSet<QChar>(text.cbegin(), text.cend())) {
                if (c.isSpace()) {
                    continue;
                }
                QTextLayout layout(c, font);
                layout.beginLayout();
                layout.createLine();
                layout.endLayout();
                // A real glyph of a bundled face. The first face names the family it was asked for with its
                // substitutes: "Poppins,montserrat".
                const QGlyphRun run = layout.glyphRuns().value(0);
                const QString family = run.rawFont().familyName().toLower();
                const QStringList faces = family.split(QLatin1Char(','));
                QVERIFY2(run.glyphIndexes().value(0) != 0 && !family.isEmpty()
                        && std::all_of(faces.cbegin(), faces.cend(),
                            [](const QString& face) {
                                return face == "poppins" || face == "montserrat";
                            }),
                    qPrintable(QStringLiteral("%1 (U+%2, %3) %4")
                                   .arg(c)
                                   .arg(c.unicode(), 4, 16, QChar('0'))
                                   .arg(bold ? "bold" : "regular", family)));
            }
        }
    }

    void dashCircle_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QRect>("expected");
        // A fractional size is truncated; the 1-pixel pen reaches the last column and row, not beyond.
        QTest::newRow("290") << QSizeF(290, 290) << QRect(0, 0, 290, 290);
        QTest::newRow("290.7 wide") << QSizeF(290.7, 290) << QRect(0, 0, 290, 290);
    }

    void dashCircle()
    {
        QFETCH(QSizeF, size);
        DashCircle circle;
        circle.setSize(size);
        circle.setColor(QStringLiteral("#ff0000"));
        // Room to the right and below shows a spill past the item; a solid outline to compare with.
        QImage image(size.toSize() + QSize(4, 4), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QImage solid = image;
        QPainter painter(&solid);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawEllipse(0, 0, int(size.width()) - 1, int(size.height()) - 1);
        painter.end();
        painter.begin(&image);
        circle.paint(&painter);
        painter.end();
        QRect box;
        int painted = 0, solidPainted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                solidPainted += qAlpha(solid.pixel(x, y)) > 0 ? 1 : 0;
                if (qAlpha(pixel) > 0) {
                    box |= QRect(x, y, 1, 1);
                    ++painted;
                    QVERIFY(qRed(pixel) > 200 && qGreen(pixel) < 40 && qBlue(pixel) < 40);
                }
            }
        }
        QTEST(box, "expected");
        // Dashed, neither solid nor filled.
        QVERIFY(painted > solidPainted / 3 && painted < solidPainted * 9 / 10);
        QSignalSpy spy(&circle, &DashCircle::colorChanged);
        circle.setColor(QStringLiteral("#ff0000")); // the same again: nothing
        circle.setColor(QStringLiteral("white"));
        QCOMPARE(spy.count(), 1);
    }
};

QTEST_MAIN(TestPixels)

#include "tst_pixels.moc"
