#pragma once

#include <QString>
#include <cstdint>

namespace vorlan {

/// The program-wide shared state: every field that outlives one event and is seen by more than
/// one window. One instance (State()), created with its start values before the main window.
/// Fields that come in threes are declared by name; the slot accessors (DisplayScale(k), ...)
/// let a per-slot procedure be written once for k = 1, 2, 3.
struct SharedState {
    // Reference points in picture twips (picture pixels x TwipsPerPixel, independent of zoom); 0 = not set.
    float Point1X1 = 0, Point1Y1 = 0, Point1X2 = 0, Point1Y2 = 0, Point1X3 = 0, Point1Y3 = 0;
    float Point2X1 = 0, Point2Y1 = 0, Point2X2 = 0, Point2Y2 = 0, Point2X3 = 0, Point2Y3 = 0;
    // Centre of the displayed picture 1 in twips, kept by the plate solution.
    float PlateCentreX = 0, PlateCentreY = 0;
    int16_t PictureCount = 0;
    // Captions of the points; a point counts as marked when its text has at least 7 characters.
    QString Point1Text1, Point2Text1, Point1Text2, Point2Text2, Point1Text3, Point2Text3;
    // Reference stars (points 1 and 2 of picture 1), radians.
    float StarRA1 = 0, StarRA2 = 0;
    float StarDec1 = 0, StarDec2 = 0;
    // Last computed sky position, radians.
    double CoordRA = 0, CoordDec = 0;
    // Drawn pixels per picture pixel: slider value / 1000; 0 before the slot's first load.
    float DisplayScale1 = 0, DisplayScale2 = 0, DisplayScale3 = 0;
    float OverallScale = 0;
    float MarkScale1 = 0, MarkScale2 = 0;
    // Picture sizes in pixels, as decoded.
    float PictureWidth1 = 0, PictureWidth2 = 0, PictureWidth3 = 0;
    float PictureHeight1 = 0, PictureHeight2 = 0, PictureHeight3 = 0;
    QString DialogFileName;
    QString ProjectFolder;
    QString FileName1, FileName2, FileName3;
    QString CoordText;
    // Frame positions in the picture area, pixels.
    float ImageTop1 = 0, ImageLeft1 = 0, ImageTop2 = 0, ImageLeft2 = 0, ImageTop3 = 0, ImageLeft3 = 0;
    float CutX1 = 0, CutY1 = 0, CutX2 = 0, CutY2 = 0;
    QString ProjectText;
    int16_t ViewBusy = 0;
    // Marker box centre, pixels of the picture area.
    float BoxCentreX = 0, BoxCentreY = 0;
    int16_t StopRequested = 0;
    float MinIntensity = 0;

    // Slot accessors, k = 1, 2, 3. Any other k is a programming error and throws.
    float& Point1X(int k);
    float& Point1Y(int k);
    float& Point2X(int k);
    float& Point2Y(int k);
    QString& Point1Text(int k);
    QString& Point2Text(int k);
    /// Point text of point p (1 or 2) of slot k.
    QString& PointText(int p, int k);
    float& PointX(int p, int k);
    float& PointY(int p, int k);
    float& DisplayScale(int k);
    float& PictureWidth(int k);
    float& PictureHeight(int k);
    QString& FileName(int k);
    float& ImageTop(int k);
    float& ImageLeft(int k);
    /// Puts slot k's own fields back to their start values: no file, no picture size, scale or
    /// frame position, no reference points.
    void clearSlot(int k);
};

/// The one instance.
SharedState& State();

/// Puts every field back to its zero start value (tests start each case from a fresh program).
void ResetStateForTest();

} // namespace vorlan
