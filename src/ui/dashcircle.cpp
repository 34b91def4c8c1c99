#include "dashcircle.h"

#include <QColor>
#include <QPainter>
#include <QPen>

DashCircle::DashCircle(QQuickItem* parent)
    : QQuickPaintedItem(parent)
    , m_color(QStringLiteral("#193151"))
{
    setObjectName(QStringLiteral("DashCircle"));
}

void DashCircle::setColor(const QString& color)
{
    if (color == m_color) {
        return;
    }
    m_color = color;
    emit colorChanged(m_color);
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
