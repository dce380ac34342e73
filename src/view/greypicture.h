#pragma once

#include <QImage>

namespace vorlan {

/// The form in which a slot holds a freshly decoded picture: Format_Grayscale8 when every pixel
/// is grey, at one byte a pixel; otherwise Format_RGB32, exactly as QImage::convertTo gives it.
/// A grey value v is the colour RGB(v, v, v) that the RGB32 form would hold, bit for bit.
/// The decoder's format decides where it says grey (Grayscale8, Grayscale16); Mono and Indexed8
/// pictures are grey when every pixel's palette colour is; any other picture is turned into
/// RGB32 and is grey when one pass finds R = G = B in every pixel. The pass stops at the first
/// coloured pixel, and the grey copy is only made once the first row has been found grey, so a
/// colour photograph costs almost nothing extra. Null when memory runs out.
QImage heldPicture(QImage decoded);

/// The picture as colour pictures are held: Format_RGB32 (null when memory runs out).
QImage colourPicture(QImage decoded);

} // namespace vorlan
