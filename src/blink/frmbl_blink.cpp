// The blink button, its interval slider, the timer tick and the marker box of the main window.

#include "blink/blinkcycle.h"
#include "blink/blinkshare.h"
#include "blink/markerbox.h"
#include "blink/markeroverlay.h"
#include "common/numberforms.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"

#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace vorlan {

void frmBl::CmdStart_Click() {
    // Starting or stopping ends a pending choice of reference point.
    if (lblVvod1->backColor() != colors::Magenta) lblVvod1->setBackColor(colors::Magenta);
    if (lblVvod2->backColor() != colors::Magenta) lblVvod2->setBackColor(colors::Magenta);
    if (isBlinking()) {
        stopBlinking();
        return;
    }
    CmdStart->setText(QStringLiteral("СТОП"));
    setTimerInterval(HScrTime->value());
    Img1->hide();
    Img2->hide();
    Img3->hide();
    // The first phase comes with the click: an empty picture area for a whole interval looked like
    // a failure to load. The timer, just started, gives the next one an interval later.
    Timer1_Timer();
}

void frmBl::HScrTime_Change() {
    // While stopped the slider only sets the interval for the next start: ticks under "ПУСК"
    // would leave the button reading the opposite of what the pictures do.
    if (isBlinking()) setTimerInterval(HScrTime->value());
    Label6->setText(LocaleForm(HScrTime->value() / 1000.0) + QStringLiteral(" сек."));
}

void frmBl::Timer1_Timer() {
    BlinkPhase = int16_t(nextBlinkPhase(BlinkPhase, int(blinkCycle().size())));
    showBlinkPhase(BlinkPhase);
    if (mnuRamka->isChecked())
        placeMarkerBox();
}

QVector<BlinkView> frmBl::blinkCycle() const {
    const BlinkSet set = mnuVL_1_2_3->isChecked() ? BlinkSet::OneTwoThree
                         : mnuVL_1_3->isChecked() ? BlinkSet::OneThree
                                                  : BlinkSet::OneTwo;
    return blinkCycleOf(set, mnuRaznost->isChecked(), !Img3->picture().isNull());
}

void frmBl::showBlinkPhase(int p) {
    const QVector<BlinkView> cycle = blinkCycle();
    const int shown = cycle.at(std::clamp(p, 1, int(cycle.size())) - 1).slot;
    // Only the cycle's own frames change: a frame outside it keeps what the pair menu left.
    for (const BlinkView& v : cycle)
        Img(v.slot)->setVisible(v.slot == shown);
}

void frmBl::placeMarkerBox() {
    const auto lines = markerBoxLines(State().BoxCentreX, State().BoxCentreY);
    for (int i = 0; i < MarkerOverlay::Count; ++i)
        Line4->setLine(i, lines[i]);
}

} // namespace vorlan
