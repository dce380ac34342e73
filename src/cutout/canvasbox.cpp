#include "cutout/canvasbox.h"

#include "shell/windowkit.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace vorlan {

CanvasBox::CanvasBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void CanvasBox::setImage(const QImage& image) {
    m_image = image;
    if (!m_image.isNull()) resize(m_image.size());
    setAttribute(Qt::WA_OpaquePaintEvent, !m_image.isNull());
    update();
}

void CanvasBox::clear() {
    setImage(QImage());
}

void CanvasBox::paintEvent(QPaintEvent* e) {
    if (m_image.isNull()) return;
    QPainter p(this);
    const QRect r = e->rect() & m_image.rect();
    p.drawImage(r.topLeft(), m_image, r);
}

void CanvasBox::mousePressEvent(QMouseEvent* e) {
    const QPointF at = e->position();
    emit mouseDown(vbButton(e->button()), vbShift(e->modifiers()), float(at.x()), float(at.y()));
}

} // namespace vorlan
