#pragma once

#include "stars/similaritytransform.h"
#include "view/picturerender.h"

#include <QImage>
#include <QWidget>
#include <optional>

namespace vorlan {

/// The stretching image frame (Img1, Img2, Img3): holds the slot's decoded picture and draws it at
/// its display scale. The frame keeps the picture's exact position in the picture area, in
/// fractions of a pixel; the widget stands on the nearest whole pixel and draws the picture offset
/// by the remaining fraction, so pictures registered on each other cover the same sky in every
/// screen pixel. Only the part inside the picture area is drawn, and what was drawn is kept until
/// the scale, the position's fraction or the picture changes, so showing the frame again (a blink
/// tick) costs a copy. Mouse events are reported in twips (pixels x TwipsPerPixel, floats) measured from the
/// picture's exact top-left corner, with the button (1 left, 2 right, 4 middle) and shift mask
/// (1 Shift, 2 Ctrl, 4 Alt). A double-click reports one mouse-down, for its first press.
///
/// A registered picture that is turned or mirrored against picture 1 is shown turned: the frame
/// then draws a resampled copy (the shown picture) while picture() stays the decoded picture, whose
/// pixels the points, the cut-outs and the project file count in. Mouse positions are in twips of
/// the shown picture; pictureTwips() carries them to the decoded picture's.
class ImageFrame : public QWidget {
    Q_OBJECT
  public:
    explicit ImageFrame(QWidget* parent = nullptr);

    /// The slot's decoded picture, shown as it is; any turn and registration are forgotten.
    void setPicture(const QImage& image);
    const QImage& picture() const { return m_image; }
    void clearPicture();

    /// Shows `turned`, the decoded picture resampled so that toShown carries the decoded picture's
    /// continuous pixels onto turned's, in place of the decoded picture.
    void setTurnedPicture(const QImage& turned, const SimilarityTransform& toShown);
    /// Shows the decoded picture itself again.
    void clearTurn();
    bool isTurned() const { return !m_turned.isNull(); }
    /// What the frame draws: the turned picture, or else the decoded one.
    const QImage& shownPicture() const { return isTurned() ? m_turned : m_image; }
    /// A position in the decoded picture's twips (pixels x TwipsPerPixel) as the shown picture's, and back;
    /// the same position when the frame is not turned.
    QPointF shownTwips(QPointF pictureTwips) const;
    QPointF pictureTwips(QPointF shownTwips) const;
    /// Carries the decoded picture's continuous pixels onto the shown picture's (identity unless turned).
    const SimilarityTransform& toShown() const { return m_toShown; }

    /// The automatic registration of the picture on picture 1 (its pixels to picture 1's), kept
    /// for the project file; none until one is set, and after the picture changes.
    const std::optional<SimilarityTransform>& registration() const { return m_registration; }
    void setRegistration(const std::optional<SimilarityTransform>& r) { m_registration = r; }

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

    /// The display scale last set; 0 while none was.
    float displayScale() const { return m_scale; }

    /// How picture pixels are resampled below scale 1; area averaging unless set otherwise.
    void setSampling(Sampling s);

    /// What the picture is drawn through (brightness matched to another picture); the picture
    /// itself is not changed. Drawn as it is unless set.
    void setToneMap(const ToneMap& tone);
    /// A picture of the shown picture's size drawn in its place (its brightness matched pixel by
    /// pixel, where no tone map can), until it is set null or the shown picture changes; one of
    /// another size is not taken. Mouse positions and shownPicture() stay as they were.
    void setDrawnPicture(const QImage& drawn);
    bool drawsOwnPicture() const { return !m_drawn.isNull(); }
    const ToneMap& toneMap() const { return m_tone; }

  signals:
    void mouseDown(int button, int shift, float x, float y);
    void mouseMove(int button, int shift, float x, float y);
    /// The picture, its position, its scale or the frame's size has changed: where its pixels
    /// lie under the other frames' may be different now.
    void placementChanged();

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    /// Forgets what was drawn: the shown picture changed.
    void shownChanged();
    QPointF twipsOf(const QPointF& widgetPos) const;
    /// Makes the drawing cache hold `visible` (widget pixels) for the current placement.
    void updateCache(const QRect& visible);

    /// What is drawn: the picture set by setDrawnPicture, or else the shown picture.
    const QImage& drawnPicture() const { return m_drawn.isNull() ? shownPicture() : m_drawn; }

    QImage m_image;
    QImage m_turned;
    QImage m_drawn;
    SimilarityTransform m_toShown;
    std::optional<SimilarityTransform> m_registration;
    float m_left = 0;
    float m_top = 0;
    float m_scale = 0; ///< 0 until set: the frame then stretches the picture to its size
    Sampling m_sampling = Sampling::AreaAverage;
    ToneMap m_tone;

    // What was drawn last: the picture (by cache key), where it lay, and the rectangle of the widget
    // that m_cache holds.
    QImage m_cache;
    QRect m_cacheRect;
    qint64 m_cacheKey = 0;
    Placement m_cachePlacement;
};

} // namespace vorlan
