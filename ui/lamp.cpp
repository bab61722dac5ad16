#include "lamp.h"

#include <QPainter>
#include <QRadialGradient>

namespace quillon {

LampWidget::LampWidget(QColor colour, QWidget* parent) : QWidget(parent), colour_(colour)
{
    setFixedSize(20, 20);
}

void LampWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(7, 7), 12);
    glow.setColorAt(0, colour_.lighter(170));
    glow.setColorAt(1, colour_.darker(130));
    painter.setBrush(glow);
    painter.setPen(QPen(colour_.darker(200), 1));
    painter.drawEllipse(QRectF(2.5, 2.5, 15, 15));
}

}  // namespace quillon
