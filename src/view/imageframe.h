#pragma once

#include <QImage>
#include <QWidget>

namespace vorlan {

/// The stretching image frame (Img1, Img2, Img3): holds the slot's decoded picture and draws it
/// stretched to the frame's size. Only the exposed part is drawn, from the matching source
/// rectangle, so a frame at scale 3 costs no more memory or time than at scale 1.
/// Mouse events are reported in twips of the displayed image (pixels x 15) as floats, with the
/// button (1 left, 2 right, 4 middle) and shift mask (1 Shift, 2 Ctrl, 4 Alt). A double-click
/// reports one mouse-down, for its first press.
class ImageFrame : public QWidget {
    Q_OBJECT
public:
    explicit ImageFrame(QWidget* parent = nullptr);

    void setPicture(const QImage& image);
    const QImage& picture() const { return m_image; }
    void clearPicture();

    /// Position in the picture area, pixels. Kept as floats because the zoom and overlay
    /// arithmetic works in fractions of a pixel; the widget stands at the rounded place.
    float Left() const { return m_left; }
    float Top() const { return m_top; }
    void setLeft(float l);
    void setTop(float t);
    void setPosition(float l, float t);

signals:
    void mouseDown(int button, int shift, float x, float y);
    void mouseMove(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QImage m_image;
    float m_left = 0;
    float m_top = 0;
};

/// Button code of a Qt mouse button (1 left, 2 right, 4 middle, 0 none).
int vbButton(Qt::MouseButtons b);
/// Shift mask of Qt keyboard modifiers (1 Shift, 2 Ctrl, 4 Alt).
int vbShift(Qt::KeyboardModifiers m);

} // namespace vorlan
