#include "ui/dashcircle.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

class TestDashCircle : public QObject
{
    Q_OBJECT

private slots:
    void extent_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QRect>("expected");
        // The outline stays inside the item: a fractional size is truncated, and the 1-pixel pen
        // reaches the last column and row but not beyond.
        QTest::newRow("inner circle 290") << QSizeF(290, 290) << QRect(0, 0, 290, 290);
        QTest::newRow("290.7 wide") << QSizeF(290.7, 290) << QRect(0, 0, 290, 290);
        QTest::newRow("ellipse 120 x 60.9") << QSizeF(120, 60.9) << QRect(0, 0, 120, 60);
    }

    void extent()
    {
        QFETCH(QSizeF, size);
        DashCircle circle;
        circle.setSize(size);
        circle.setColor(QStringLiteral("#ff0000"));
        // Room to the right and below shows whether anything spills past the item.
        QImage image(size.toSize() + QSize(4, 4), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QImage solid = image;
        {
            QPainter painter(&solid);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.drawEllipse(0, 0, int(size.width()) - 1, int(size.height()) - 1);
        }
        QPainter painter(&image);
        circle.paint(&painter);
        painter.end();

        QRect box;
        int painted = 0;
        int solidPainted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                solidPainted += qAlpha(solid.pixel(x, y)) > 0 ? 1 : 0;
                if (qAlpha(pixel) > 0) {
                    box |= QRect(x, y, 1, 1);
                    ++painted;
                    // In the colour given.
                    QVERIFY(qRed(pixel) > 200 && qGreen(pixel) < 40 && qBlue(pixel) < 40);
                }
            }
        }
        QTEST(box, "expected");
        // Dashed: clearly fewer pixels than the solid outline, and never filled.
        QVERIFY2(painted > solidPainted / 3 && painted < solidPainted * 9 / 10,
            qPrintable(QStringLiteral("%1 of %2").arg(painted).arg(solidPainted)));
    }

    void sameColourEmitsNothing()
    {
        DashCircle circle;
        QSignalSpy spy(&circle, &DashCircle::colorChanged);
        circle.setColor(QStringLiteral("#193151"));
        circle.setColor(QStringLiteral("white"));
        circle.setColor(QStringLiteral("white"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("white"));
    }
};

QTEST_MAIN(TestDashCircle)

#include "tst_dashcircle.moc"
