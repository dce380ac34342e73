#pragma once

#include "view/picturebox.h"

namespace vorlan {

/// Pic1 of the photometry window: a picture box showing the 400 x 400 photometry picture 1:1
/// that reports mouse presses and moves in its pixels with the button (1 left, 2 right,
/// 4 middle) and shift mask (1 Shift, 2 Ctrl, 4 Alt).
class CutView : public PictureBox {
    Q_OBJECT
  public:
    explicit CutView(QWidget* parent = nullptr);

  signals:
    void mouseDown(int button, int shift, int x, int y);
    void mouseMove(int button, int shift, int x, int y);

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

} // namespace vorlan
