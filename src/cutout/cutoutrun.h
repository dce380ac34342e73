#pragma once

#include "common/outcome.h"
#include "cutout/cutoutgeometry.h"
#include "view/picturefile.h"

#include <QImage>
#include <QString>
#include <vector>

namespace vorlan {

class JobControl;

/// One region of a cut-out: the slot's decoded picture as held and its file (decoded afresh when
/// it has changed on disk since), the region in picture pixels, and the x in canvas pixels where
/// its block starts.
struct CutOutPart {
    QImage held;
    QString file;
    CutRegion region;
    int offsetX = 0;
};

/// The pixel work of a cut-out, run by the job runner: copies the parts in order onto canvas and
/// reports progress(parts done, parts). A stop ends only the part being copied, after its current
/// pixel; the next part is copied whole. A changed file is decoded with loading. Hands back the
/// parts copied (a part cut short by a stop counts); when a part's changed file could not be
/// decoded the run ends at that part, failing with the file and why.
Outcome<int> runCutOut(const std::vector<CutOutPart>& parts, QImage& canvas, JobControl& control,
                       const PictureLoadOptions& loading);

} // namespace vorlan
