// A round lamp of 20 x 20 pixels, green or red, or not shown at all.
#pragma once

#include <QWidget>

#include "app/lamps.h"

namespace quillon {

class IndicatorLamp : public QWidget {
public:
    explicit IndicatorLamp(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {20, 20}; }

    void Show(Lamp lamp);
    Lamp Shown() const { return lamp_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Lamp lamp_ = Lamp::Off;
};

}  // namespace quillon
