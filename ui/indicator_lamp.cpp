#include "indicator_lamp.h"

#include <QPainter>
#include <QRadialGradient>

namespace quillon {

IndicatorLamp::IndicatorLamp(QWidget* parent) : QWidget(parent)
{
    setFixedSize(20, 20);
    hide();
}

void IndicatorLamp::Show(Lamp lamp)
{
    if (lamp == lamp_)
        return;
    lamp_ = lamp;
    setVisible(lamp != Lamp::Off);
    update();
}

void IndicatorLamp::paintEvent(QPaintEvent*)
{
    const QColor colour = lamp_ == Lamp::Green ? QColor(0, 170, 0) : QColor(210, 0, 0);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(7, 7), 12);
    glow.setColorAt(0, colour.lighter(170));
    glow.setColorAt(1, colour.darker(130));
    painter.setBrush(glow);
    painter.setPen(QPen(colour.darker(200), 1));
    painter.drawEllipse(QRectF(2.5, 2.5, 15, 15));
}

}  // namespace quillon
