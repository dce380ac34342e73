#include "photometry/circleshape.h"

#include "shell/windowkit.h"

#include <QPainter>
#include <cmath>

namespace vorlan {

CircleShape::CircleShape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CircleShape::setSizeTwips(int width, int height) {
    m_w = width;
    m_h = height;
    // At least one pixel, so that even the smallest circle is seen.
    resize(std::max(1, twipsToPixels(width)), std::max(1, twipsToPixels(height)));
}

void CircleShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace vorlan
