// Reference points: arming, the mouse-down dispatch of the pictures, the reset, the overlay by
// point 1 and the point-pair display toggle of the main window.

#include "common/numberforms.h"
#include "common/vorlanerror.h"
#include "registration/pointtext.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "shell/windowkit.h"
#include "view/imageframe.h"
#include "view/twips.h"

#include <QLabel>

namespace vorlan {

namespace {

float divide(float a, float b) { return float(checkedDivide(a, b)); }

} // namespace

void frmBl::ArmPoint(int p) {
    ClickLabel* mine = p == 1 ? lblVvod1 : lblVvod2;
    ClickLabel* other = p == 1 ? lblVvod2 : lblVvod1;
    if (mine->backColor() == colors::Yellow)
        return;
    mine->setBackColor(colors::Yellow);
    other->setBackColor(colors::LightGrey);
}

void frmBl::Img_MouseDown(int k, int button, int shift, float x, float y) {
    SharedState& s = State();
    // A frame that never received a picture has no picture coordinates to mark or cut.
    if (Img(k)->picture().isNull()) return;
    lblT1->setText(s.Point1Text(k));
    LblT2->setText(s.Point2Text(k));

    if (k == 1 && button == RightButton && shift == NoShift) {
        ShowPhotometryCut(x, y, false);
    } else if (k == 1 && button == LeftButton && shift == CtrlKey) {
        ShowPhotometryCut(x, y, true);
    } else if (button == LeftButton && shift == NoShift && armedPoint() != 0) {
        const int p = armedPoint();
        if (isMarked(s.PointText(p, k))) {
            const QString question =
                (p == 1 ? QStringLiteral("Первая точка на этой картинке уже отмечена!")
                        : QStringLiteral("Вторая точка на этой картинке уже отмечена!")) +
                QStringLiteral(" Переназначить?");
            if (Prompter::instance().question(this, question, QMessageBox::Ok | QMessageBox::Cancel,
                                              QMessageBox::Question) != QMessageBox::Ok)
                return;
        }
        markPoint(k, p, Img(k)->pictureTwips({divide(x, s.DisplayScale(k)), divide(y, s.DisplayScale(k))}));
    } else if (button == LeftButton && shift == ShiftKey) {
        stopBlinking();
        // The same screen spot in pictures 1 and 2, through the frames' positions.
        auto spot = [this, k](int j, float v, bool across) {
            if (j == k) return v;
            const float edgeK = across ? Img(k)->Left() : Img(k)->Top();
            const float edgeJ = across ? Img(j)->Left() : Img(j)->Top();
            return toTwips(edgeK - edgeJ) + v;
        };
        // Only pictures that are there are cut; an empty slot keeps its old spot.
        for (int j = 1; j <= 2; ++j) {
            if (Img(j)->picture().isNull()) continue;
            const QPointF cut = Img(j)->pictureTwips(
                {divide(spot(j, x, true), s.DisplayScale(j)), divide(spot(j, y, false), s.DisplayScale(j))});
            (j == 1 ? s.CutX1 : s.CutX2) = float(cut.x());
            (j == 1 ? s.CutY1 : s.CutY2) = float(cut.y());
        }
        if (k != 1) {
            s.ImageLeft1 = Img1->Left();
            s.ImageTop1 = Img1->Top();
            s.ImageLeft2 = Img2->Left();
            s.ImageTop2 = Img2->Top();
        }
        pickReportSpot(k, x, y);
        noteMotionClick(
            k, toPixels(Img(k)->pictureTwips({divide(x, s.DisplayScale(k)), divide(y, s.DisplayScale(k))})));
        CopyAreas();
    } else {
        s.BoxCentreX = toPixels(x) + s.ImageLeft(k);
        s.BoxCentreY = toPixels(y) + s.ImageTop(k);
    }
}

void frmBl::markPoint(int k, int p, QPointF at) {
    SharedState& s = State();
    if (k == 1)
        twoStarSolutionStale();
    s.PointX(p, k) = float(at.x());
    s.PointY(p, k) = float(at.y());
    // Point 1 of picture 2 records picture 1's scale: the plate solution reads MarkScale1
    // as picture 1's scale at marking time.
    if (k == 1)
        (p == 1 ? s.MarkScale1 : s.MarkScale2) = s.DisplayScale1;
    else if (k == 2)
        (p == 1 ? s.MarkScale1 : s.MarkScale2) = p == 1 ? s.DisplayScale1 : s.DisplayScale2;
    const QString text = pointText(s.PointX(p, k), s.PointY(p, k));
    (p == 1 ? lblT1 : LblT2)->setText(text);
    s.PointText(p, k) = text;
}

void frmBl::cmdSbros_Click() {
    SharedState& s = State();
    twoStarSolutionStale();
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    for (int k = 1; k <= 3; ++k) {
        // Every picture is shown as its file holds it again, no longer registered.
        Img(k)->clearTurn();
        Img(k)->setRegistration(std::nullopt);
        HScr(k)->setValue(1000);
        s.DisplayScale(k) = float(HScr(k)->value()) / 1000.0f;
        scaleLabel(k)->setText(GeneralForm(s.DisplayScale(k)));
        Img(k)->resize(int(s.PictureWidth(k)), int(s.PictureHeight(k)));
        Img(k)->setDisplayScale(1);
        s.ImageLeft(k) = 0;
        s.ImageTop(k) = 0;
        Img(k)->setPosition(0, 0);
        s.Point1X(k) = s.Point1Y(k) = s.Point2X(k) = s.Point2Y(k) = 0;
        s.Point1Text(k).clear();
        s.Point2Text(k).clear();
    }
    lblT1->setText(QStringLiteral("0  0"));
    LblT2->setText(QStringLiteral("0  0"));
    s.CoordText.clear();
    lblInfo->clear();
}

void frmBl::CmdSovm_Click() {
    for (int k = 2; k <= 3; ++k)
        overlaySlot(k);
}

void frmBl::overlaySlot(int k) {
    SharedState& s = State();
    const float a = drawnX(s.DisplayScale1, s.Point1X1, s.ImageLeft1);
    const float b = drawnY(s.DisplayScale1, s.Point1Y1, s.ImageTop1);
    // Point 1 where the frame shows it: a turned picture shows it elsewhere than its file has it.
    const QPointF point1 = Img(k)->shownTwips({s.Point1X(k), s.Point1Y(k)});
    const float c = drawnX(s.DisplayScale(k), float(point1.x()), s.ImageLeft(k));
    const float d = drawnY(s.DisplayScale(k), float(point1.y()), s.ImageTop(k));
    s.ImageLeft(k) = s.ImageLeft(k) + (a - c);
    s.ImageTop(k) = s.ImageTop(k) + (b - d);
    Img(k)->setPosition(s.ImageLeft(k), s.ImageTop(k));
}

void frmBl::mnuVirovnjat2t_Click() {
    SharedState& s = State();
    const bool second = !mnuVirovnjat2t->isChecked();
    mnuVirovnjat2t->setChecked(second);
    const int p = second ? 2 : 1;
    const QString suffix = second ? QStringLiteral(" (2-ые)") : QStringLiteral(" (1-ые)");
    lblT1->setText(pointText(s.PointX(p, 1), s.PointY(p, 1)) + suffix);
    LblT2->setText(pointText(s.PointX(p, 2), s.PointY(p, 2)) + suffix);
}

} // namespace vorlan
