#pragma once

#include <QImage>
#include <QString>

namespace vorlan {

/// Writes the picture as an uncompressed 24-bit BMP file at path, through a temporary file in
/// the same folder that replaces the target only when complete, so a failed write leaves any
/// old file as it was. Returns an empty text on success, else the reason in Russian.
QString writeBmp24(const QImage& picture, const QString& path);

} // namespace vorlan
