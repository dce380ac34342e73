#include "view/workpicture.h"

#include "view/picturefile.h"

#include <QFileInfo>

namespace vorlan {

QImage pictureToWorkOn(const QImage& held, const QString& file, const PictureLoadOptions& options,
                       QString* error) {
    // A file that is gone (or a name emptied by a cancelled dialog) leaves the pixels the user
    // sees as the best picture there is.
    if (file.isEmpty() || !QFileInfo(file).isFile() || pictureMatchesFile(held, file)) return held;
    DecodedPicture fresh = decodePictureFile(file, options);
    if (!fresh.error.isEmpty()) {
        if (error) *error = fresh.error;
        return {};
    }
    return fresh.image;
}

} // namespace vorlan
