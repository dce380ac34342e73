#include "cutout/cutoutrun.h"

#include "common/jobrunner.h"
#include "view/workpicture.h"

namespace vorlan {

Outcome<int> runCutOut(const std::vector<CutOutPart>& parts, QImage& canvas, JobControl& control,
                       const PictureLoadOptions& loading) {
    int done = 0;
    const int n = int(parts.size());
    for (const CutOutPart& part : parts) {
        const DecodedPicture picture = pictureToWorkOn(part.held, part.file, loading);
        if (!picture.ok())
            return Failure{
                picture.failure().number,
                QStringLiteral("Не удалось загрузить картинку\n%1\n%2").arg(part.file, picture.reason())};
        copyRegion(picture.value(), canvas, part.region, part.offsetX,
                   [&control] { return !control.takeStopRequest(); });
        control.progress(++done, n);
    }
    return done;
}

} // namespace vorlan
