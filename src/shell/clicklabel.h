#pragma once

#include <QColor>
#include <QLabel>

namespace vorlan {

/// A label with a click and a back colour, like the selector and arming labels whose colour is
/// the state they show. It clicks as a button does: on the release of the left button inside it,
/// once per double-click.
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

    void setBackColor(const QColor& c);
    QColor backColor() const;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    bool m_pressed = false;
};

/// Colours the Parts name.
namespace colors {
inline const QColor Yellow{255, 255, 0};
inline const QColor Green{0, 128, 0};
inline const QColor Magenta{255, 0, 255};
inline const QColor Pink{255, 128, 255};
inline const QColor LightGrey{192, 192, 192};
inline const QColor Silver{192, 192, 192};
} // namespace colors

} // namespace vorlan
