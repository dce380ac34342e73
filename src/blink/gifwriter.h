#pragma once

// The blink as an animated GIF: what the user shares on forums and in reports to other observers.

#include "common/outcome.h"

#include <QImage>
#include <QString>
#include <QVector>

namespace vorlan {

/// Writes frames (all of one size, at most 65535 pixels a side, in any QImage format and taken as
/// opaque) as a GIF89a at path that loops forever: each frame shown for delayCentiseconds
/// (hundredths of a second, clamped into 0..65535), the whole canvas each time.
/// When every pixel of every frame is grey (red = green = blue) the palette is the 256 grey
/// levels and the frames keep their levels exactly. Otherwise one palette of at most 256 colours
/// is chosen for all frames together (FramePalette) without dithering, so a pixel that is the
/// same in two frames is the same in both frames of the file.
/// The file is written whole or not at all (a temporary file beside it, renamed over it when
/// complete). A failure's reason is the Russian sentence "Не удалось записать файл <path>:
/// <reason>". Run in a job that is stopped, it writes nothing and fails as stopped.
Outcome<void> writeAnimatedGif(const QString& path, const QVector<QImage>& frames, int delayCentiseconds);

} // namespace vorlan
