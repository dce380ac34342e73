#include "shell/sharedstate.h"

#include "common/slotpick.h"

namespace vorlan {

namespace {

template <typename T> T& pick(int k, T& a, T& b, T& c) { return slotPick(k, a, b, c); }

template <typename T> T& pickPoint(int p, T& one, T& two) {
    if (p == 1) return one;
    if (p == 2) return two;
    throw VorlanError(SubscriptOutOfRange, QStringLiteral("Индекс вне диапазона: точка %1").arg(p));
}

} // namespace

float& SharedState::Point1X(int k) { return pick(k, Point1X1, Point1X2, Point1X3); }
float& SharedState::Point1Y(int k) { return pick(k, Point1Y1, Point1Y2, Point1Y3); }
float& SharedState::Point2X(int k) { return pick(k, Point2X1, Point2X2, Point2X3); }
float& SharedState::Point2Y(int k) { return pick(k, Point2Y1, Point2Y2, Point2Y3); }
QString& SharedState::Point1Text(int k) { return pick(k, Point1Text1, Point1Text2, Point1Text3); }
QString& SharedState::Point2Text(int k) { return pick(k, Point2Text1, Point2Text2, Point2Text3); }
QString& SharedState::PointText(int p, int k) { return pickPoint(p, Point1Text(k), Point2Text(k)); }
float& SharedState::PointX(int p, int k) { return pickPoint(p, Point1X(k), Point2X(k)); }
float& SharedState::PointY(int p, int k) { return pickPoint(p, Point1Y(k), Point2Y(k)); }
float& SharedState::DisplayScale(int k) { return pick(k, DisplayScale1, DisplayScale2, DisplayScale3); }
float& SharedState::PictureWidth(int k) { return pick(k, PictureWidth1, PictureWidth2, PictureWidth3); }
float& SharedState::PictureHeight(int k) { return pick(k, PictureHeight1, PictureHeight2, PictureHeight3); }
QString& SharedState::FileName(int k) { return pick(k, FileName1, FileName2, FileName3); }
float& SharedState::ImageTop(int k) { return pick(k, ImageTop1, ImageTop2, ImageTop3); }
float& SharedState::ImageLeft(int k) { return pick(k, ImageLeft1, ImageLeft2, ImageLeft3); }

SharedState& State() {
    static SharedState state;
    return state;
}

void SharedState::clearSlot(int k) {
    FileName(k).clear();
    PictureWidth(k) = PictureHeight(k) = DisplayScale(k) = ImageTop(k) = ImageLeft(k) = 0;
    for (int p = 1; p <= 2; ++p) {
        PointText(p, k).clear();
        PointX(p, k) = PointY(p, k) = 0;
    }
}

void ResetStateForTest() { State() = SharedState(); }

} // namespace vorlan
