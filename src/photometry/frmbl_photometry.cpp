// The photometry cut of picture 1 and the menu item that shows the photometry window.

#include "photometry/frmfm.h"
#include "shell/frmbl.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"
#include "view/twips.h"
#include "view/workpicture.h"

#include <QApplication>
#include <cmath>

namespace vorlan {

namespace {

/// Picture 1 as decoded at its load; decoded again only when its file has changed on disk
/// since (and still reads), so the cut-out shows what the file now holds.
QImage photometrySource(const frmBl& f) {
    const QImage& loaded = f.Img1->picture();
    if (loaded.isNull()) return loaded;
    return pictureToWorkOn(loaded, State().FileName1, f.pictureLoading).valueOr(loaded);
}

} // namespace

void frmBl::ShowPhotometryCut(float x, float y, bool startMeasuring) {
    SharedState& s = State();
    const QImage picture = photometrySource(*this);
    // No picture 1 (or none shown yet): nothing to cut.
    if (picture.isNull() || !(s.DisplayScale1 > 0)) return;
    stopBlinking();
    s.CutX1 = toPixels(x / s.DisplayScale1);
    s.CutY1 = toPixels(y / s.DisplayScale1);
    // The clicked pixel lands on (200, 200) of the cut-out.
    const int left = int(std::floor(s.CutX1)) - CutSize / 2;
    const int top = int(std::floor(s.CutY1)) - CutSize / 2;
    PhotometryCut cut = CutFromPicture(picture, left, top);
    // The window keeps the point for its readout: a comparison cut-out reuses CutX1, CutY1.
    cut.point = QPointF(s.CutX1, s.CutY1);
    frmFM& w = PhotometryForm();
    w.showWindow();
    w.setCut(cut);
    if (startMeasuring) w.MeasureStar(CutSize / 2, CutSize / 2);
}

void frmBl::mnuFM_Click() {
    PhotometryForm().showWindow();
}

} // namespace vorlan
