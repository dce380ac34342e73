#pragma once

#include "view/picturerender.h"

#include <QImage>
#include <QWidget>

namespace vorlan {

/// The stretching image frame (Img1, Img2, Img3): holds the slot's decoded picture and draws it at
/// its display scale. The frame keeps the picture's exact position in the picture area, in
/// fractions of a pixel; the widget stands on the nearest whole pixel and draws the picture offset
/// by the remaining fraction, so pictures registered on each other cover the same sky in every
/// screen pixel. Only the part inside the picture area is drawn, and what was drawn is kept until
/// the scale, the position's fraction or the picture changes, so showing the frame again (a blink
/// tick) costs a copy. Mouse events are reported in twips (pixels x 15, floats) measured from the
/// picture's exact top-left corner, with the button (1 left, 2 right, 4 middle) and shift mask
/// (1 Shift, 2 Ctrl, 4 Alt). A double-click reports one mouse-down, for its first press.
class ImageFrame : public QWidget {
    Q_OBJECT
  public:
    explicit ImageFrame(QWidget* parent = nullptr);

    void setPicture(const QImage& image);
    const QImage& picture() const { return m_image; }
    void clearPicture();

    /// Exact position of the picture's top-left corner in the picture area, pixels.
    float Left() const { return m_left; }
    float Top() const { return m_top; }
    void setLeft(float l);
    void setTop(float t);
    void setPosition(float l, float t);

    /// Drawn pixels per picture pixel. The frame's size is set by its owner; a frame whose size
    /// does not match this scale (resized alone) stretches the picture to its size instead.
    void setDisplayScale(float s);
    /// The scale the picture is drawn at (see setDisplayScale).
    double drawnScale() const;
    /// Where the picture lies in this widget's own pixels.
    Placement placement() const;

    /// How picture pixels are resampled below scale 1; area averaging unless set otherwise.
    void setSampling(Sampling s);

  signals:
    void mouseDown(int button, int shift, float x, float y);
    void mouseMove(int button, int shift, float x, float y);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

  private:
    QPointF twipsOf(const QPointF& widgetPos) const;
    /// Makes the drawing cache hold `visible` (widget pixels) for the current placement.
    void updateCache(const QRect& visible);

    QImage m_image;
    float m_left = 0;
    float m_top = 0;
    float m_scale = 0; ///< 0 until set: the frame then stretches the picture to its size
    Sampling m_sampling = Sampling::AreaAverage;

    // What was drawn last: the picture (by cache key), where it lay, and the rectangle of the widget
    // that m_cache holds.
    QImage m_cache;
    QRect m_cacheRect;
    qint64 m_cacheKey = 0;
    Placement m_cachePlacement;
};

} // namespace vorlan
