#pragma once

#include <QScrollBar>

namespace vorlan {

/// A scroll bar with the Min 0 / Max / SmallChange / LargeChange model of the pan and scale
/// bars. Max may be set below 0 (a picture smaller than the picture area): the bar then runs
/// from 0 down to Max, still moving left to right, so that moving it right shifts the
/// pictures right. Like every control of the panel it takes the keyboard focus by a click and by
/// Tab. Its keys move it as a desktop scroll bar's do: Left and Up by SmallChange towards Min,
/// Right and Down towards Max, Page Up and Page Down by LargeChange, Home and End to the ends.
class PanBar : public QScrollBar {
    Q_OBJECT
  public:
    PanBar(Qt::Orientation o, int min, int max, int small, int large, int value, QWidget* parent = nullptr);

    int Max() const { return m_max; }
    void setMax(int max);
    int Min() const { return m_min; }
    int SmallChange() const { return singleStep(); }
    int LargeChange() const { return pageStep(); }
    void setSmallChange(int s) { setSingleStep(s); }
    void setLargeChange(int l) { setPageStep(l); }

    /// Enables or disables the bar for the moment of a move. A bar that holds the keyboard focus
    /// keeps it: QWidget::setEnabled(false) would hand the focus to the next control, and the
    /// user's next key would land there. A mouse held on an arrow or the track goes on paging:
    /// disabling stops the repeat, enabling starts it again.
    void setEnabledKeepingFocus(bool enabled);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    int m_min;
    int m_max;
    bool m_refocus = false;
    bool m_firstRepeat = false; ///< the held mouse has not repeated its step yet
};

} // namespace vorlan
