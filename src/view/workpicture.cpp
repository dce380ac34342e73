#include "view/workpicture.h"

#include "view/picturefile.h"

#include <QFileInfo>

namespace vorlan {

DecodedPicture pictureToWorkOn(const QImage& held, const QString& file, const PictureLoadOptions& options) {
    // A file that is gone (or a name emptied by a cancelled dialog) leaves the pixels the user
    // sees as the best picture there is.
    if (file.isEmpty() || !QFileInfo(file).isFile() || pictureMatchesFile(held, file)) return held;
    return decodePictureFile(file, options);
}

} // namespace vorlan
