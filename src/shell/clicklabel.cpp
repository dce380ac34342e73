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

QColor ClickLabel::backColor() const {
    return palette().color(QPalette::Window);
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    QLabel::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) m_pressed = true;
}

// A click happens when the button comes up inside the label; a user who pressed on the wrong
// label slides off it to take the press back.
void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const bool click = m_pressed && rect().contains(e->position().toPoint());
    m_pressed = false;
    if (click) emit clicked();
}

// The second press of a double-click is no second click.
void ClickLabel::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
}

} // namespace vorlan
