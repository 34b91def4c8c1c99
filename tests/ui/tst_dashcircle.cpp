#include "styleprovider.h"
#include "ui/dashcircle.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The box around every pixel the painter touched.
QRect paintedExtent(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

int paintedCount(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return count;
}

QImage render(DashCircle& circle, const QSize& imageSize)
{
    QImage image(imageSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    circle.paint(&painter);
    return image;
}

} // namespace

class TestDashCircle : public QObject
{
    Q_OBJECT

private slots:
    void extent_data();
    void extent();
    void dashedNotSolid();
    void colourChange();
    void rendersInScene();
};

void TestDashCircle::extent_data()
{
    QTest::addColumn<qreal>("width");
    QTest::addColumn<qreal>("height");
    QTest::addColumn<QRect>("expected");
    // Ellipse from (0,0) of size (w-1, h-1) truncated; a 1-pixel pen reaches the last column/row.
    QTest::newRow("inner circle 290") << 290.0 << 290.0 << QRect(0, 0, 290, 290);
    QTest::newRow("290.7 wide truncates") << 290.7 << 290.0 << QRect(0, 0, 290, 290);
    QTest::newRow("outer circle 395") << 395.0 << 395.0 << QRect(0, 0, 395, 395);
    QTest::newRow("ellipse 120 x 60.9") << 120.0 << 60.9 << QRect(0, 0, 120, 60);
}

void TestDashCircle::extent()
{
    QFETCH(qreal, width);
    QFETCH(qreal, height);
    DashCircle circle;
    circle.setSize(QSizeF(width, height));
    // Room to the right and below shows whether anything spills past the truncated size.
    const QImage image = render(circle, QSize(int(width) + 4, int(height) + 4));
    QTEST(paintedExtent(image), "expected");

    // Only the outline: the centre stays empty.
    QCOMPARE(qAlpha(image.pixel(int(width / 2), int(height / 2))), 0);
}

void TestDashCircle::dashedNotSolid()
{
    DashCircle circle;
    circle.setSize(QSizeF(290, 290));
    circle.setColor(QStringLiteral("#ff0000"));
    const QImage dashed = render(circle, QSize(290, 290));

    QImage solid(290, 290, QImage::Format_ARGB32);
    solid.fill(Qt::transparent);
    {
        QPainter painter(&solid);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(QColor(Qt::red)));
        painter.drawEllipse(0, 0, 289, 289);
    }
    const int dashedPixels = paintedCount(dashed);
    const int solidPixels = paintedCount(solid);
    QVERIFY2(dashedPixels > solidPixels / 3 && dashedPixels < solidPixels * 9 / 10,
        qPrintable(QStringLiteral("%1 of %2").arg(dashedPixels).arg(solidPixels)));

    // Painted in the colour given, never filled.
    int redPixels = 0;
    for (int y = 0; y < dashed.height(); ++y) {
        for (int x = 0; x < dashed.width(); ++x) {
            const QRgb pixel = dashed.pixel(x, y);
            if (qAlpha(pixel) > 0) {
                QVERIFY(qRed(pixel) > 200 && qGreen(pixel) < 40 && qBlue(pixel) < 40);
                ++redPixels;
            }
        }
    }
    QVERIFY(redPixels > 0);
}

void TestDashCircle::colourChange()
{
    DashCircle circle;
    QCOMPARE(circle.color(), QStringLiteral("#193151"));
    QSignalSpy spy(&circle, &DashCircle::colorChanged);

    circle.setColor(QStringLiteral("#193151"));
    QCOMPARE(spy.count(), 0);

    circle.setColor(QStringLiteral("white"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst().at(0).toString(), QStringLiteral("white"));
    circle.setColor(QStringLiteral("white"));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(circle.property("color").toString(), QStringLiteral("white"));
}

void TestDashCircle::rendersInScene()
{
    // Through the QML registration, as the main window uses it.
    QQuickView view;
    StyleProvider::setUpEngine(view.engine());
    view.setColor(Qt::white);
    QTemporaryDir dir;
    QFile qml(dir.filePath(QStringLiteral("Scene.qml")));
    QVERIFY(qml.open(QIODevice::WriteOnly));
    qml.write("import QtQuick 2.12\nimport DashCircle 1.0\n"
              "Item { width: 300; height: 300\n"
              "  DashCircle { x: 5; y: 5; width: 290; height: 290; color: '#0000ff' } }\n");
    qml.close();
    view.setSource(QUrl::fromLocalFile(qml.fileName()));
    QVERIFY2(view.status() == QQuickView::Ready,
        qPrintable(view.errors().isEmpty() ? QString() : view.errors().first().toString()));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QImage shot = view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shot.size(), QSize(300, 300));
    QRect box;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y);
            if (qBlue(pixel) > qRed(pixel) + 20) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    QCOMPARE(box, QRect(5, 5, 290, 290));
}

QTEST_MAIN(TestDashCircle)

#include "tst_dashcircle.moc"
