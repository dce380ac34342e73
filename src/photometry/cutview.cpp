#include "photometry/cutview.h"

#include "shell/windowkit.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace vorlan {

CutView::CutView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void CutView::setPicture(const QImage& image) {
    m_image = image;
    update();
}

void CutView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.drawImage(e->rect(), m_image, e->rect());
}

void CutView::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    emit mouseDown(vbButton(e->button()), vbShift(e->modifiers()), at.x(), at.y());
}

void CutView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    emit mouseMove(vbButton(e->buttons()), vbShift(e->modifiers()), at.x(), at.y());
}

} // namespace vorlan
