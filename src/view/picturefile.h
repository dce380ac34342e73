#pragma once

#include "common/outcome.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vorlan {

/// A picture file decoded once: the image, or why it could not be read (a Russian reason the
/// user can act on; the number FileNotFound for a file that is not there, BadFile otherwise).
using DecodedPicture = Outcome<QImage>;

/// A picture file that could not be decoded, for reason.
inline Failure pictureFailure(const QString& reason) {
    return {BadFile, reason};
}

/// How pictures are loaded. The defaults are the program's; tests set their own so that they
/// behave the same on every machine, or compare the held forms.
struct PictureLoadOptions {
    /// Bytes one decoded picture may take; 0 for pictureMemoryBudget().
    qint64 memoryBudget = 0;
    /// False holds every picture as RGB32, grey ones too, as they were before grey pictures had
    /// their own form.
    bool keepGrey = true;

    /// The budget in effect, bytes.
    qint64 budget() const;
    /// The form a grey picture is held in.
    QImage::Format greyFormat() const;
};

/// Decodes a picture file once, with the size read from the same reader. A picture whose pixels
/// are all grey is held at one byte a pixel (Format_Grayscale8), any other as RGB32; see
/// heldPicture. Before anything is decoded, the size in the file's header (at the bytes a pixel
/// the picture will be held at: 1 where the decoder says grey, else 4) is checked against the
/// options' budget, so a small file claiming a huge picture is refused without allocating it.
/// A picture file cut short is refused rather than shown half grey (pictureDataComplete).
/// Every failure comes back as a reason: not found, no permission, empty, not a picture,
/// damaged or incomplete, too large for memory. The decoded picture carries the modification
/// time and size of the file it came from, so a later user of the slot's pixels can tell
/// whether the file still holds them.
DecodedPicture decodePictureFile(const QString& path, const PictureLoadOptions& options = {});

/// True when picture was decoded from path and the file has not changed on disk since.
bool pictureMatchesFile(const QImage& picture, const QString& path);

} // namespace vorlan
