#include "view/imageframe.h"

#include "shell/windowkit.h"
#include "view/twips.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <cstring>

namespace vorlan {

namespace {

/// The whole pixel a frame stands on: halves go to the even pixel, as the pan bars round, so that
/// a bar set to |Left| and the frame agree.
int wholePixel(float v) {
    return int(std::nearbyint(v));
}

bool samePlacement(const Placement& a, const Placement& b) {
    return a.originX == b.originX && a.originY == b.originY && a.scale == b.scale;
}

} // namespace

ImageFrame::ImageFrame(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void ImageFrame::setPicture(const QImage& image) {
    m_image = image;
    m_turned = QImage();
    m_toShown = SimilarityTransform();
    m_registration.reset();
    shownChanged();
}

void ImageFrame::clearPicture() {
    setPicture(QImage());
}

void ImageFrame::setTurnedPicture(const QImage& turned, const SimilarityTransform& toShown) {
    m_turned = turned;
    m_toShown = toShown;
    shownChanged();
}

void ImageFrame::clearTurn() {
    if (!isTurned()) return;
    m_turned = QImage();
    m_toShown = SimilarityTransform();
    shownChanged();
}

void ImageFrame::shownChanged() {
    m_drawn = QImage();
    m_cache = QImage();
    m_cacheRect = QRect();
    // Every pixel of the frame is drawn from the picture, opaque whatever its format.
    setAttribute(Qt::WA_OpaquePaintEvent, !shownPicture().isNull());
    update();
    emit placementChanged();
}

QPointF ImageFrame::shownTwips(QPointF pictureTwips) const {
    if (!isTurned()) return pictureTwips;
    return toTwips(m_toShown.map(toPixels(pictureTwips)));
}

QPointF ImageFrame::pictureTwips(QPointF shownTwips) const {
    if (!isTurned()) return shownTwips;
    return toTwips(m_toShown.inverted().map(toPixels(shownTwips)));
}

void ImageFrame::setLeft(float l) {
    setPosition(l, m_top);
}

void ImageFrame::setTop(float t) {
    setPosition(m_left, t);
}

void ImageFrame::setPosition(float l, float t) {
    const bool fractionMoved =
        l - wholePixel(l) != m_left - wholePixel(m_left) || t - wholePixel(t) != m_top - wholePixel(m_top);
    const bool moved = l != m_left || t != m_top;
    m_left = l;
    m_top = t;
    move(wholePixel(l), wholePixel(t));
    // A whole-pixel move is redrawn by Qt; a new fraction changes every drawn pixel.
    if (fractionMoved) update();
    if (moved) emit placementChanged();
}

void ImageFrame::setDisplayScale(float s) {
    if (s == m_scale) return;
    m_scale = s;
    update();
    emit placementChanged();
}

void ImageFrame::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    emit placementChanged();
}

double ImageFrame::drawnScale() const {
    const QImage& shown = shownPicture();
    if (shown.isNull()) return 1.0;
    const double w = shown.width(), h = shown.height();
    if (m_scale > 0 && std::abs(width() - w * m_scale) <= 1.0 && std::abs(height() - h * m_scale) <= 1.0)
        return m_scale;
    return width() / w;
}

Placement ImageFrame::placement() const {
    return {double(m_left) - wholePixel(m_left), double(m_top) - wholePixel(m_top), drawnScale()};
}

void ImageFrame::setSampling(Sampling s) {
    m_sampling = s;
    m_cache = QImage();
    update();
}

void ImageFrame::setToneMap(const ToneMap& tone) {
    if (tone == m_tone) return;
    m_tone = tone;
    m_cache = QImage();
    update();
}

void ImageFrame::setDrawnPicture(const QImage& drawn) {
    if (drawn.cacheKey() == m_drawn.cacheKey() || (!drawn.isNull() && drawn.size() != shownPicture().size()))
        return;
    m_drawn = drawn;
    m_cache = QImage();
    update();
}

void ImageFrame::updateCache(const QRect& visible) {
    const Placement at = placement();
    const QImage& shown = drawnPicture();
    const bool same =
        !m_cache.isNull() && m_cacheKey == shown.cacheKey() && samePlacement(at, m_cachePlacement);
    if (same && m_cacheRect.contains(visible)) return;
    // A pan keeps the placement within the widget: what both rectangles share is copied, only the
    // strips that came into view are drawn.
    QImage next(visible.size(), QImage::Format_RGB32);
    QRegion todo(visible);
    const QRect keep = same ? visible & m_cacheRect : QRect();
    if (!keep.isEmpty()) {
        const size_t bytes = size_t(keep.width()) * sizeof(QRgb);
        for (int y = keep.top(); y <= keep.bottom(); ++y)
            std::memcpy(reinterpret_cast<QRgb*>(next.scanLine(y - visible.top())) +
                            (keep.left() - visible.left()),
                        reinterpret_cast<const QRgb*>(m_cache.constScanLine(y - m_cacheRect.top())) +
                            (keep.left() - m_cacheRect.left()),
                        bytes);
        todo -= keep;
    }
    const Placement shifted{at.originX - visible.left(), at.originY - visible.top(), at.scale};
    for (const QRect& r : todo)
        renderPicture(shown, shifted, next, r.translated(-visible.topLeft()), m_sampling, ColourKernel::Fastest,
                      &m_tone);
    m_cache = next;
    m_cacheRect = visible;
    m_cacheKey = shown.cacheKey();
    m_cachePlacement = at;
}

void ImageFrame::paintEvent(QPaintEvent* e) {
    if (shownPicture().isNull() || width() <= 0 || height() <= 0) return;
    // The cache holds what can be seen: the frame within the picture area, or what is asked for
    // when the frame stands alone.
    QRect visible = rect() & e->region().boundingRect();
    if (const QWidget* area = parentWidget()) visible = rect() & area->rect().translated(-pos());
    if (!visible.isEmpty()) updateCache(visible);
    QPainter p(this);
    for (const QRect& exposed : e->region()) {
        const QRect part = exposed & rect();
        const QRect cached = part & m_cacheRect;
        if (!cached.isEmpty())
            p.drawImage(cached.topLeft(), m_cache, cached.translated(-m_cacheRect.topLeft()));
        // Parts outside the picture area (a grab of the whole frame) are drawn but not kept.
        for (const QRect& r : QRegion(part) - QRegion(m_cacheRect)) {
            QImage tile(r.size(), QImage::Format_RGB32);
            const Placement at = placement();
            renderPicture(drawnPicture(), {at.originX - r.left(), at.originY - r.top(), at.scale}, tile, tile.rect(),
                          m_sampling, ColourKernel::Fastest, &m_tone);
            p.drawImage(r.topLeft(), tile);
        }
    }
}

QPointF ImageFrame::twipsOf(const QPointF& widgetPos) const {
    const Placement at = placement();
    return {toTwips(widgetPos.x() - at.originX), toTwips(widgetPos.y() - at.originY)};
}

void ImageFrame::mousePressEvent(QMouseEvent* e) {
    QPointF t = twipsOf(e->position());
    // Zoomed out, the pixel clicked shows the mean of several picture pixels; the user clicked on
    // what stands out there, so the click goes to its brightest picture pixel, named as a click at
    // scale 1 names it: by its top-left corner (a thousandth in, so that 32-bit twips divided by the
    // scale stay in it). Points marked at different scales then agree.
    const Placement at = placement();
    if (m_sampling == Sampling::AreaAverage && at.scale < 1.0) {
        const QPointF corner = QPointF(std::floor(e->position().x()), std::floor(e->position().y())) -
                               QPointF(at.originX, at.originY);
        const QRectF covered(corner / at.scale, QSizeF(1.0, 1.0) / at.scale);
        if (const std::optional<QPoint> star = brightestPixel(shownPicture(), covered))
            t = toTwips((QPointF(*star) + QPointF(1e-3, 1e-3)) * at.scale);
    }
    emit mouseDown(vbButton(e->button()), vbShift(e->modifiers()), float(t.x()), float(t.y()));
}

// A double-click is one mouse-down: the second press arrives as this event, which QWidget
// would otherwise hand to mousePressEvent as a second mouse-down.
void ImageFrame::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
}

void ImageFrame::mouseMoveEvent(QMouseEvent* e) {
    const QPointF t = twipsOf(e->position());
    emit mouseMove(vbButton(e->buttons()), vbShift(e->modifiers()), float(t.x()), float(t.y()));
}

} // namespace vorlan
