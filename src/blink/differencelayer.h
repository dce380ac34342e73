#pragma once

#include <QImage>
#include <QWidget>
#include <array>

namespace vorlan {

class ImageFrame;

/// The difference view of the picture area. While it is on, wherever picture 2 or 3 would be
/// seen, the difference of that picture with picture 1 is seen instead, drawn where picture 1
/// lies through image frames of its own (ImgRaznost2, ImgRaznost3) that keep picture 1's
/// position and scale. The layer follows the visibility of the slots' frames Img1 to Img3, so
/// every handler that shows or hides them (a blink tick, a slot selection, a rescale, a load)
/// shows the difference without knowing of it: the topmost shown frame decides, and picture 1
/// on top shows picture 1. The mouse goes through to the frames below, so a click acts on the
/// picture under it at the same place of the sky.
class DifferenceLayer : public QWidget {
    Q_OBJECT
  public:
    /// A layer over `area` (the picture area) for the slot frames img1..img3, which are children
    /// of area. Stacked above them by the caller.
    DifferenceLayer(QWidget* area, ImageFrame* img1, ImageFrame* img2, ImageFrame* img3);

    void setOn(bool on);
    bool isOn() const { return m_on; }
    /// The difference picture of slot k (2 or 3) in picture 1's pixel grid; null when there is none.
    void setDifference(int k, const QImage& difference);
    /// The frame that draws the difference of slot k (2 or 3).
    ImageFrame* frame(int k) const;
    /// The slot whose difference is seen now, 0 when none is.
    int shownSlot() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    /// Shows the difference of the topmost shown slot frame, or nothing.
    void follow();
    /// Puts the difference frames where picture 1's frame is.
    void place();

    std::array<ImageFrame*, 3> m_slots;
    std::array<ImageFrame*, 2> m_frames;
    bool m_on = false;
};

} // namespace vorlan
