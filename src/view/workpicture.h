#pragma once

#include "view/picturefile.h"

#include <QImage>
#include <QString>

namespace vorlan {

/// The picture a long run works on for a slot: the slot's decoded picture (held, shared, never
/// decoded again) unless its file has changed on disk since it was decoded; then the file is
/// decoded afresh. A slot with neither picture nor file gives a null image. When the changed
/// file cannot be decoded (with options), the failure says why.
DecodedPicture pictureToWorkOn(const QImage& held, const QString& file, const PictureLoadOptions& options);

} // namespace vorlan
