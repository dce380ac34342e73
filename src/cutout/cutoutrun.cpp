#include "cutout/cutoutrun.h"

#include "common/jobrunner.h"
#include "view/workpicture.h"

namespace vorlan {

CutOutResult runCutOut(const std::vector<CutOutPart>& parts, QImage& canvas, JobControl& control,
                       const PictureLoadOptions& loading) {
    CutOutResult result;
    const int n = int(parts.size());
    for (const CutOutPart& part : parts) {
        const DecodedPicture picture = pictureToWorkOn(part.held, part.file, loading);
        if (!picture.ok()) {
            result.error = picture.reason();
            break;
        }
        copyRegion(picture.value(), canvas, part.region, part.offsetX,
                   [&control] { return !control.takeStopRequest(); });
        control.progress(++result.partsDone, n);
    }
    return result;
}

} // namespace vorlan
