// The sky readout of the main window: distance from the centre and sky position under the cursor
// over picture 1, and the menu item that opens the coordinate entry.

#include "common/vorlanerror.h"
#include "shell/frmbl.h"
#include "shell/sharedstate.h"
#include "sky/frmvvodkoordinat.h"
#include "sky/platesolution.h"
#include "sky/skytext.h"
#include "view/imageframe.h"

#include <QAction>
#include <QLabel>

namespace vorlan {

// Runs on every mouse move: degenerate input (a picture of no size, coinciding marks, unusable
// star coordinates) leaves the labels as they were instead of raising a message per move.
void frmBl::Img1_MouseMove(int, int, float x, float y) {
    try {
        lblInfo2->setText(CentreDistanceText(Img1->width(), Img1->height(), x, y));
    } catch (const VorlanError&) {
    }
    if (!mnuKoordinat->isEnabled()) return;
    SharedState& s = State();
    try {
        const SkyFix fix = SolveAtScale(MarkedStarsFromState(), s.DisplayScale1, {x, y});
        const QString text = SkyPositionText(fix.ra, fix.dec);
        s.CoordRA = fix.ra;
        s.CoordDec = fix.dec;
        s.CoordText = text;
        lblInfo->setText(text);
    } catch (const VorlanError&) {
    }
}

void frmBl::mnuViravnivanie_vvod_koord_Click() {
    VvodKoordinatForm().showModal();
}

} // namespace vorlan
