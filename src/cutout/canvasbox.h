#pragma once

#include <QImage>
#include <QWidget>

namespace vorlan {

/// Pic1 of the cut-out window: a picture box with pixel access whose drawing is a persistent
/// image of its own size. Only the exposed part is painted. Mouse presses are reported in canvas
/// pixels with the button (1 left, 2 right, 4 middle) and shift mask (1 Shift, 2 Ctrl, 4 Alt).
class CanvasBox : public QWidget {
    Q_OBJECT
  public:
    explicit CanvasBox(QWidget* parent = nullptr);

    /// The persistent image, for writing; call update() after drawing into it.
    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }
    /// Replaces the image and takes its size.
    void setImage(const QImage& image);
    /// Forgets the drawing.
    void clear();

  signals:
    void mouseDown(int button, int shift, float x, float y);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    QImage m_image;
};

} // namespace vorlan
