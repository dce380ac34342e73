#include "photometry/cutview.h"

#include "shell/windowkit.h"

#include <QMouseEvent>
#include <cmath>

namespace vorlan {

CutView::CutView(QWidget* parent) : PictureBox(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
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
