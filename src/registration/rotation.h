#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace vorlan {

class JobControl;

/// Reference points 1 and 2 of one picture, picture twips (y grows downwards).
struct PointPair {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

/// The angle in radians (32-bit float, in [-π, π]) by which the target picture must be turned
/// counter-clockwise so that its direction from point 1 to point 2 matches picture 1's. A pair of
/// coinciding points has no direction: it takes the direction found before it (0 for picture 1,
/// picture 1's for the target).
float rotationAngle(const PointPair& picture1, const PointPair& target);

/// "выполняется поворот на угол " + the angle in degrees with two decimals (locale separator) + "°".
QString rotationAnnouncement(float angle);

/// "выполнено = " + row / lastRow x 100 in the form "00.0" + "%": the progress after a row.
QString rotationProgress(float row, float lastRow);

/// Size in pixels of the canvas that holds a W x H picture turned by angle radians: its bounding
/// box W·|cos| + H·|sin| by H·|cos| + W·|sin|, rounded to whole pixels, for every angle.
QSize rotatedCanvasSize(int w, int h, float angle);

/// Everything the pixel loop needs: the source centre (W / 2, H / 2), the canvas centre (half the
/// canvas size), and the turn as cosine and sine.
struct RotationGeometry {
    int width = 0, height = 0; ///< source picture, pixels
    QSize canvas;
    double cx = 0, cy = 0, ncx = 0, ncy = 0;
    double cosD = 1, sinD = 0;
};
RotationGeometry rotationGeometry(int w, int h, float angle);

/// Turns source row y (0..H, H included) onto the canvas: each position x = 0..W goes to
/// nx = Int(dx·cos − dy·sin + ncx), ny = Int(ncy − (dx·sin + dy·cos)) with dx = x − cx and
/// dy = cy − y (upwards), and the source's 2 × 2 block from (x, y) is written there as a 2 × 2
/// block, filling the holes that floored forward mapping leaves. Positions outside the source
/// write nothing; writes outside the canvas are clipped. src is Grayscale8 or RGB32, the
/// canvas RGB32.
void rotateRow(const QImage& src, QImage& canvas, const RotationGeometry& g, int y);

/// The pixel work of a rotation, run by the job runner: turns rows 0..H of src onto canvas,
/// reporting progress(row, H, rotationProgress(row, H)) after each; a stop ends it after the row
/// it was seen in. Returns the last row turned.
int rotatePicture(const QImage& src, QImage& canvas, const RotationGeometry& g, JobControl& control);

} // namespace vorlan
