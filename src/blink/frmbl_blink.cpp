// The blink button, its interval slider, the timer tick and the marker box of the main window.

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

QVector<int> frmBl::blinkCycle() const {
    // Exactly one of the pair items is ticked.
    if (mnuVL_1_3->isChecked()) return {1, 3};
    return {1, 2};
}

void frmBl::showBlinkPhase(int p) {
    const QVector<int> cycle = blinkCycle();
    // Only the cycle's own frames change: a frame outside it keeps what the pair menu left.
    for (int k : cycle)
        Img(k)->setVisible(k == cycle.at(p - 1));
}

void frmBl::placeMarkerBox() {
    const auto lines = markerBoxLines(State().BoxCentreX, State().BoxCentreY);
    for (int i = 0; i < MarkerOverlay::Count; ++i)
        Line4->setLine(i, lines[i]);
}

} // namespace vorlan
