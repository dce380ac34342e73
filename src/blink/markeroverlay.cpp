#include "blink/markeroverlay.h"

#include <QPainter>

namespace vorlan {

MarkerOverlay::MarkerOverlay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void MarkerOverlay::setLine(int index, const QLineF& line) {
    m_lines.at(index) = line;
    update();
}

void MarkerOverlay::setLineVisible(int index, bool visible) {
    m_visible.at(index) = visible;
    update();
}

void MarkerOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(QColor(0, 255, 0), 1));
    for (int i = 0; i < Count; ++i)
        if (m_visible[i] && !m_lines[i].isNull()) // a line never placed is not drawn
            p.drawLine(m_lines[i]);
}

} // namespace vorlan
