// A round indicator lamp of 20 x 20 pixels.
#pragma once

#include <QColor>
#include <QWidget>

namespace quillon {

class LampWidget : public QWidget {
public:
    LampWidget(QColor colour, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_;
};

}  // namespace quillon
