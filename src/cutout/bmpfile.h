#pragma once

#include "common/outcome.h"

#include <QImage>
#include <QString>

namespace vorlan {

/// Writes the picture as an uncompressed 24-bit BMP file at path, through a temporary file in
/// the same folder that replaces the target only when complete, so a failed write leaves any
/// old file as it was. A failure's reason says why in Russian, without the file's name.
Outcome<void> writeBmp24(const QImage& picture, const QString& path);

} // namespace vorlan
