#pragma once

#include <QImage>
#include <QWidget>

namespace vorlan {

/// Pic1 of the photometry window: shows the 400 x 400 photometry picture 1:1 and reports mouse
/// presses and moves in its pixels with the button (1 left, 2 right, 4 middle) and shift mask
/// (1 Shift, 2 Ctrl, 4 Alt).
class CutView : public QWidget {
    Q_OBJECT
  public:
    explicit CutView(QWidget* parent = nullptr);

    void setPicture(const QImage& image);
    const QImage& picture() const { return m_image; }

  signals:
    void mouseDown(int button, int shift, int x, int y);
    void mouseMove(int button, int shift, int x, int y);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

  private:
    QImage m_image;
};

} // namespace vorlan
