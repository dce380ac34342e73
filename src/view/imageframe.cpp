#include "view/imageframe.h"

#include "shell/guard.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

namespace vorlan {

int vbButton(Qt::MouseButtons b) {
    int v = 0;
    if (b & Qt::LeftButton) v |= 1;
    if (b & Qt::RightButton) v |= 2;
    if (b & Qt::MiddleButton) v |= 4;
    return v;
}

int vbShift(Qt::KeyboardModifiers m) {
    int v = 0;
    if (m & Qt::ShiftModifier) v |= 1;
    if (m & Qt::ControlModifier) v |= 2;
    if (m & Qt::AltModifier) v |= 4;
    return v;
}

ImageFrame::ImageFrame(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // The frame paints every exposed pixel itself when it has a picture.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ImageFrame::setPicture(const QImage& image) {
    m_image = image;
    setAttribute(Qt::WA_OpaquePaintEvent, !m_image.isNull() && !m_image.hasAlphaChannel());
    update();
}

void ImageFrame::clearPicture() { setPicture(QImage()); }

void ImageFrame::setLeft(float l) { setPosition(l, m_top); }

void ImageFrame::setTop(float t) { setPosition(m_left, t); }

void ImageFrame::setPosition(float l, float t) {
    m_left = l;
    m_top = t;
    move(int(std::lround(l)), int(std::lround(t)));
}

QRectF ImageFrame::sourceRectFor(const QRect& r) const {
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return {};
    const double sx = double(m_image.width()) / width();
    const double sy = double(m_image.height()) / height();
    return QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
}

void ImageFrame::paintEvent(QPaintEvent* e) {
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    const QRect exposed = e->rect() & rect();
    if (exposed.isEmpty())
        return;
    // Widen the source to whole picture pixels and map that back to the widget, so a partial
    // repaint draws exactly the pixels a full one would.
    const double sx = double(m_image.width()) / width();
    const double sy = double(m_image.height()) / height();
    const int x0 = std::max(0, int(std::floor(exposed.left() * sx)));
    const int y0 = std::max(0, int(std::floor(exposed.top() * sy)));
    const int x1 = std::min(m_image.width(), int(std::ceil((exposed.right() + 1) * sx)));
    const int y1 = std::min(m_image.height(), int(std::ceil((exposed.bottom() + 1) * sy)));
    if (x1 <= x0 || y1 <= y0)
        return;
    const QRectF source(x0, y0, x1 - x0, y1 - y0);
    const QRectF target(x0 / sx, y0 / sy, (x1 - x0) / sx, (y1 - y0) / sy);
    QPainter p(this);
    p.setClipRect(exposed);
    p.drawImage(target, m_image, source);
}

void ImageFrame::mousePressEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit mouseDown(vbButton(e->button()), vbShift(e->modifiers()), float(pos.x() * 15.0),
                   float(pos.y() * 15.0));
}

void ImageFrame::mouseMoveEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit mouseMove(vbButton(e->buttons()), vbShift(e->modifiers()), float(pos.x() * 15.0),
                   float(pos.y() * 15.0));
}

} // namespace vorlan
