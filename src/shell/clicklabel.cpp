#include "shell/clicklabel.h"

#include "shell/guard.h"

#include <QMouseEvent>

namespace vorlan {

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ClickLabel::setBackColor(const QColor& c) {
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    // Captions stay readable on the dark green of an unselected slot.
    p.setColor(QPalette::WindowText, c.lightness() < 100 ? Qt::white : Qt::black);
    setPalette(p);
    setAutoFillBackground(true);
}

QColor ClickLabel::backColor() const { return palette().color(QPalette::Window); }

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    QLabel::mousePressEvent(e);
    if (e->button() == Qt::LeftButton)
        emit clicked();
}

} // namespace vorlan
