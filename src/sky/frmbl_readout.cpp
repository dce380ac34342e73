// The sky readout of the main window: distance from the centre and sky position under the cursor
// over picture 1, the menu item that opens the coordinate entry, and which of the sources of
// sky coordinates (a WCS of the picture, or the two-star solution) is in force.

#include "common/vorlanerror.h"
#include "shell/frmbl.h"
#include "shell/sharedstate.h"
#include "sky/frmvvodkoordinat.h"
#include "sky/picturesky.h"
#include "sky/platesolution.h"
#include "sky/skytext.h"
#include "view/imageframe.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>

namespace vorlan {

// Runs on every mouse move: degenerate input (a picture of no size, coinciding marks, unusable
// star coordinates, a point outside the projection) leaves the labels as they were instead of
// raising a message per move.
void frmBl::Img1_MouseMove(int, int, float x, float y) {
    try {
        lblInfo2->setText(CentreDistanceText(Img1->width(), Img1->height(), x, y));
    } catch (const VorlanError&) {
    }
    if (!mnuKoordinat->isEnabled()) return;
    SharedState& s = State();
    double ra = 0, dec = 0;
    if (const SkyWcs* wcs = pictureSky().wcsInForce()) {
        // At the WCS's own precision, not rounded to floats as the two-star solution's are.
        const std::optional<SkyCoord> sky = wcs->skyAtTwips(x, y, s.DisplayScale1);
        if (!sky) return;
        ra = sky->ra;
        dec = sky->dec;
    } else {
        try {
            const SkyFix fix = SolveAtScale(MarkedStarsFromState(), s.DisplayScale1, {x, y});
            ra = fix.ra;
            dec = fix.dec;
        } catch (const VorlanError&) {
            return;
        }
    }
    s.CoordRA = ra;
    s.CoordDec = dec;
    s.CoordText = SkyPositionText(ra, dec);
    lblInfo->setText(s.CoordText);
}

void frmBl::mnuViravnivanie_vvod_koord_Click() {
    VvodKoordinatForm().showModal();
}

void frmBl::putSkyInForce(SkySource source) {
    PictureSky& sky = pictureSky();
    sky.source = source;
    if (const SkyWcs* wcs = sky.wcsInForce()) {
        mnuKoordinat->setEnabled(true);
        // The same lines "Считать!" writes, CR LF ended as it keeps them in CoordText. A WCS
        // whose centre or edges lie outside its projection still gives the readout.
        QString lines;
        try {
            const PlateFacts facts = wcs->plateFacts();
            lines = PlateInfoLines(facts) + PlateAngleLine(facts.angle);
        } catch (const VorlanError&) {
        }
        State().CoordText = lines;
    }
    txtInfo->setPlainText(State().CoordText + SkySourceLine(source));
}

void frmBl::twoStarSolutionStale() {
    if (!pictureSky().wcsInForce()) mnuKoordinat->setEnabled(false);
}

void frmBl::picture1Changed(const QString& path) {
    PictureSky& sky = pictureSky();
    const bool hadWcs = sky.wcsInForce() != nullptr;
    sky = PictureSky{};
    const Outcome<SkyWcs> header = ReadHeaderWcs(path);
    sky.header = header.valueOr(SkyWcs());
    if (header.ok()) {
        putSkyInForce(SkySource::HeaderWcs);
        return;
    }
    if (hadWcs) mnuKoordinat->setEnabled(false); // that WCS was the old picture's
    // A header WCS that would put the picture at a wrong place is not used, and the user is told
    // why, so that a picture without coordinates is not taken for one without a header WCS.
    if (header.failure().number == SkyWcs::RefusedWcsNumber)
        txtInfo->setPlainText(header.reason() + QStringLiteral("\r\n"));
}

} // namespace vorlan
