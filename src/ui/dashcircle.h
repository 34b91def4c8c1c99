#pragma once

#include <QQuickItem>
#include <QString>

class QImage;
class QPainter;

// The dashed outline of an ellipse filling the item, drawn behind the connection switch.
// The outline is painted once into a texture, but only a thin band along it is drawn at each
// frame: a texture the size of the item, blended whole, costs most of an idle frame under a
// software rasterizer.
class DashCircle : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(QString color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit DashCircle(QQuickItem* parent = nullptr);

    QString color() const
    {
        return m_color;
    }
    void setColor(const QString& color);

    // Paints the outline into an item-sized device.
    void paint(QPainter* painter);

signals:
    void colorChanged(QString color);

protected:
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;
    void geometryChanged(const QRectF& newGeometry, const QRectF& oldGeometry) override;

private:
    QImage paintImage(const QSize& pixels, qreal dpr);

    QString m_color;
    bool m_dirty = true;
};
