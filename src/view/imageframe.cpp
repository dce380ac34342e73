#include "view/imageframe.h"

#include "shell/guard.h"
#include "view/picturerows.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <vector>
#include <QPaintEngine>

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

namespace {

bool isOpaque32(QImage::Format f) {
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

/// Nearest-neighbour stretch of the picture into the device rectangle dst, whose widget
/// coordinates start at (x0, y0) in a frame of size frameW x frameH. A target pixel shows the
/// picture pixel under its centre. Rows that repeat a picture row are copied from the row
/// above, so a zoomed-in repaint costs about as much as an unscaled one.
void stretchInto(const QImage& src, QImage& dev, const QRect& dst, int x0, int y0, int frameW, int frameH) {
    const double sx = double(src.width()) / frameW;
    const double sy = double(src.height()) / frameH;
    const int w = dst.width();
    std::vector<int> column(size_t(std::max(0, w)));
    for (int i = 0; i < w; ++i)
        column[size_t(i)] = std::min(src.width() - 1, int((x0 + i + 0.5) * sx));
    // RGB32 pixels are 0xffRRGGBB, valid as they are in both device formats; grey ones become so.
    const bool sameWidth = frameW == src.width();
    int previous = -1;
    const size_t rowBytes = size_t(w) * sizeof(QRgb);
    for (int j = 0; j < dst.height(); ++j) {
        auto* out = reinterpret_cast<QRgb*>(dev.scanLine(dst.top() + j)) + dst.left();
        const int row = std::min(src.height() - 1, int((y0 + j + 0.5) * sy));
        if (row == previous) {
            std::memcpy(out, reinterpret_cast<const QRgb*>(dev.constScanLine(dst.top() + j - 1)) + dst.left(), rowBytes);
            continue;
        }
        const PictureRow in = pictureRow(src, row);
        if (sameWidth)
            in.copyColours(x0, w, out);
        else if (in.grey)
            for (int i = 0; i < w; ++i)
                out[i] = greyColour(in.grey[column[size_t(i)]]);
        else
            for (int i = 0; i < w; ++i)
                out[i] = in.rgb[column[size_t(i)]];
        previous = row;
    }
}

} // namespace

void ImageFrame::paintEvent(QPaintEvent* e) {
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter p(this);
    const bool ownStretch = m_image.format() == QImage::Format_RGB32 || isGreyPicture(m_image);
    // Straight into the raster device where there is one (the window's backing store).
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    const QTransform t = p.deviceTransform();
    if (ownStretch && device && device->devType() == QInternal::Image && t.type() <= QTransform::TxTranslate) {
        auto* dev = static_cast<QImage*>(device);
        if (isOpaque32(dev->format()) && dev->devicePixelRatio() == 1.0) {
            const QPoint offset(qRound(t.dx()), qRound(t.dy()));
            for (const QRect& exposed : e->region()) {
                const QRect r = (exposed & rect()).translated(offset) & dev->rect();
                if (!r.isEmpty())
                    stretchInto(m_image, *dev, r, r.left() - offset.x(), r.top() - offset.y(), width(), height());
            }
            return;
        }
    }
    const QRect exposed = e->rect() & rect();
    if (exposed.isEmpty())
        return;
    if (ownStretch) {
        // Any other device (a pixmap, a printer): the same pixels through a small tile.
        QImage tile(exposed.size(), QImage::Format_RGB32);
        stretchInto(m_image, tile, tile.rect(), exposed.left(), exposed.top(), width(), height());
        p.drawImage(exposed.topLeft(), tile);
        return;
    }
    p.setClipRect(exposed);
    p.drawImage(rect(), m_image);
}

void ImageFrame::mousePressEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit mouseDown(vbButton(e->button()), vbShift(e->modifiers()), float(pos.x() * 15.0),
                   float(pos.y() * 15.0));
}

// A double-click is one mouse-down: the second press arrives as this event, which QWidget
// would otherwise hand to mousePressEvent as a second mouse-down.
void ImageFrame::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
}

void ImageFrame::mouseMoveEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit mouseMove(vbButton(e->buttons()), vbShift(e->modifiers()), float(pos.x() * 15.0),
                   float(pos.y() * 15.0));
}

} // namespace vorlan
