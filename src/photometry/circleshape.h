#pragma once

#include <QWidget>

namespace vorlan {

/// A circle drawn inside its rectangle, like Shp1 that shows the radius of the restricting
/// circle. The size is kept in twips (view/twips.h), as the window sets it.
class CircleShape : public QWidget {
    Q_OBJECT
  public:
    explicit CircleShape(QWidget* parent = nullptr);

    /// Sets width and height in twips; the top-left corner stays.
    void setSizeTwips(int width, int height);
    int widthTwips() const { return m_w; }
    int heightTwips() const { return m_h; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    int m_w = 0;
    int m_h = 0;
};

} // namespace vorlan
