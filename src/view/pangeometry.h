#pragma once

namespace vorlan {

/// Pan bar settings for a newly loaded picture 1 (sizes in pixels). tooBig is set when the
/// picture is more than 32000 pixels wider (higher) than the bar, which 16-bit bars cannot hold;
/// the other fields are then not meaningful.
struct LoadPanSetup {
    float dx, dy;
    bool tooBig;
    int maxH, maxV;
    int largeH, smallH, largeV, smallV;
};
LoadPanSetup loadPanSetup(float pictureWidth, float pictureHeight, int barWidth, int barHeight);

/// Frame geometry of a slot after its scale changed from oldScale to newScale: the frame moves
/// so that reference point 1 (picture twips) stays where it was drawn. Positions in pixels.
struct RescaleGeometry {
    float left, top;
    int width, height;
};
RescaleGeometry rescaleGeometry(float oldScale, float newScale, float left, float top, float point1X, float point1Y,
                                float pictureWidth, float pictureHeight);

/// Pan bar settings after picture 1 was rescaled (frame size and position in pixels).
/// setH / setV: whether the bar's Value is set to valueH / valueV.
struct RescalePanSetup {
    int maxH, maxV;
    bool setH, setV;
    int valueH, valueV;
    int largeH, smallH, largeV, smallV;
};
RescalePanSetup rescalePanSetup(int frameWidth, int frameHeight, float imageLeft, float imageTop, int barWidth,
                                int barHeight);

/// The slider value for a scale times the overall zoom, limited to the slider range.
int overallSliderValue(float displayScale, float overallScale, int minValue, int maxValue);

} // namespace vorlan
