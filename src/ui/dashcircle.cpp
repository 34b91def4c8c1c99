#include "dashcircle.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QQuickWindow>
#include <QSGGeometryNode>
#include <QSGImageNode>
#include <QSGRendererInterface>
#include <QSGTextureMaterial>
#include <QtMath>

#include <memory>

namespace {

// The band around the outline that is drawn: the pen's half width, its antialiased edge and half a
// texel of smooth sampling make 1.5; the rest is for the straight segments that stand in for the
// curve, which cut into the band by at most maxSagitta.
constexpr qreal bandHalfWidth = 2;
constexpr qreal maxSagitta = 0.25;

class BandNode : public QSGGeometryNode
{
public:
    BandNode()
        : geometry(QSGGeometry::defaultAttributes_TexturedPoint2D(), 0)
    {
        geometry.setDrawingMode(QSGGeometry::DrawTriangleStrip);
        setGeometry(&geometry);
        // Smooth like a painted item: the item may stand at half a pixel.
        material.setFiltering(QSGTexture::Linear);
        setMaterial(&material);
    }

    QSGGeometry geometry;
    QSGTextureMaterial material;
    std::unique_ptr<QSGTexture> texture;
};

// A closed strip between the ellipses of radii r - d and r + d around the item's outline, kept
// inside the item (beyond it the texture's edge would repeat), mapped onto the item-sized texture.
void setBand(QSGGeometry& geometry, const QSizeF& size)
{
    const QPointF center((size.width() - 1) / 2, (size.height() - 1) / 2);
    const qreal rx = center.x(), ry = center.y();
    // Few segments: a software rasterizer pays for every triangle.
    const qreal outer = qMax(rx, ry) + bandHalfWidth;
    const int segments = qBound(16, qCeil(M_PI / qAcos(1 - maxSagitta / outer)), 1024);
    geometry.allocate(2 * (segments + 1));
    QSGGeometry::TexturedPoint2D* vertex = geometry.vertexDataAsTexturedPoint2D();
    const auto set = [&size](QSGGeometry::TexturedPoint2D* v, qreal x, qreal y) {
        x = qBound(0.0, x, size.width());
        y = qBound(0.0, y, size.height());
        v->set(float(x), float(y), float(x / size.width()), float(y / size.height()));
    };
    for (int i = 0; i <= segments; ++i) {
        const qreal angle = 2 * M_PI * (i % segments) / segments;
        const qreal cos = qCos(angle), sin = qSin(angle);
        set(vertex++, center.x() + qMax(0.0, rx - bandHalfWidth) * cos,
            center.y() + qMax(0.0, ry - bandHalfWidth) * sin);
        set(vertex++, center.x() + (rx + bandHalfWidth) * cos, center.y() + (ry + bandHalfWidth) * sin);
    }
}

} // namespace

DashCircle::DashCircle(QQuickItem* parent)
    : QQuickItem(parent)
    , m_color(QStringLiteral("#193151"))
{
    setObjectName(QStringLiteral("DashCircle"));
    setFlag(ItemHasContents, true);
}

void DashCircle::setColor(const QString& color)
{
    if (color == m_color) {
        return;
    }
    m_color = color;
    emit colorChanged(m_color);
    m_dirty = true;
    update();
}

void DashCircle::paint(QPainter* painter)
{
    painter->setRenderHint(QPainter::Antialiasing, true);
    QPen pen;
    pen.setColor(QColor(m_color));
    pen.setStyle(Qt::DashLine);
    painter->setPen(pen);
    // One pixel less than the item so the right and bottom edges of the outline stay inside it.
    painter->drawEllipse(0, 0, static_cast<int>(width() - 1), static_cast<int>(height() - 1));
}

void DashCircle::geometryChanged(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickItem::geometryChanged(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size()) {
        m_dirty = true;
        update();
    }
}

QImage DashCircle::paintImage(const QSize& pixels, qreal dpr)
{
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(dpr, dpr);
    paint(&painter);
    return image;
}

QSGNode* DashCircle::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data)
{
    Q_UNUSED(data)
    if (width() < 1 || height() < 1 || !window()) {
        delete oldNode;
        return nullptr;
    }
    const qreal dpr = window()->effectiveDevicePixelRatio();
    // Texels as a painted item of this size would have; the band covers the whole of them.
    const QSize pixels(qCeil(width() * dpr), qCeil(height() * dpr));
    const QRectF rect(QPointF(), QSizeF(pixels) / dpr);
    // Only OpenGL takes a node of one's own; the others, the software one among them, draw the
    // texture whole.
    if (window()->rendererInterface()->graphicsApi() != QSGRendererInterface::OpenGL) {
        auto* node = static_cast<QSGImageNode*>(oldNode);
        if (!node) {
            node = window()->createImageNode();
            node->setOwnsTexture(true);
            node->setFiltering(QSGTexture::Linear);
            m_dirty = true;
        }
        if (m_dirty || node->texture()->textureSize() != pixels) {
            node->setTexture(window()->createTextureFromImage(paintImage(pixels, dpr)));
            node->setRect(rect);
            m_dirty = false;
        }
        return node;
    }
    auto* node = static_cast<BandNode*>(oldNode);
    if (!node) {
        node = new BandNode;
        m_dirty = true;
    }
    if (m_dirty || node->texture->textureSize() != pixels) {
        node->texture.reset(window()->createTextureFromImage(paintImage(pixels, dpr)));
        node->material.setTexture(node->texture.get());
        setBand(node->geometry, rect.size());
        node->markDirty(QSGNode::DirtyGeometry | QSGNode::DirtyMaterial);
        m_dirty = false;
    }
    return node;
}
