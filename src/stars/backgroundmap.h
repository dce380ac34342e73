#pragma once

// The sky background under the stars and its noise, as a coarse grid of cells interpolated
// between the cell centres: a gradient, a glow or a galaxy across the field lifts the
// background locally, and a star is judged against the sky around it, not against the whole
// picture. Positions are continuous picture pixels (the centre of pixel (0, 0) is (0.5, 0.5)).

#include <QImage>
#include <QVector>

namespace vorlan {

class BackgroundMap {
  public:
    /// What is measured of a colour picture: its brightness, or one channel (a grey picture is
    /// the same in all).
    enum class Channel { Brightness, Red, Green, Blue };

    /// Measures picture (Format_Grayscale8 or Format_RGB32; colour through its brightness) in
    /// cells of about cellSize x cellSize pixels, from a subsample: every 8th pixel of every 8th
    /// row, which reads an eighth of the picture. Each cell's level is the median of its
    /// samples; its noise is 1.4826 times the median absolute deviation of the differences
    /// between the samples and the pixels three columns on, over sqrt(2) (a gradient across the
    /// cell shifts those differences but does not spread them), smoothed by medians of three
    /// neighbouring cells along the rows and the columns, never below noiseFloor (grey levels):
    /// a background clipped to black has no noise at all, yet 8-bit data carries the rounding of
    /// its levels. cellSize is held to 8 .. 1024. When the median level lies in the upper half of the range
    /// the picture is a chart (dark stars on a light ground) and the map describes the inverted values 255 -
    /// v.
    static BackgroundMap measure(const QImage& picture, int cellSize = 64, double noiseFloor = 0.5,
                                 Channel channel = Channel::Brightness);

    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    bool inverted() const { return m_inverted; }
    /// Median of the cell levels and of the cell noises, grey levels (after inversion).
    double medianLevel() const { return m_medianLevel; }
    double medianNoise() const { return m_medianNoise; }

    /// Background level and noise at (x, y), grey levels (after inversion), picture pixels.
    double level(double x, double y) const { return interpolate(m_level, x, y); }
    /// Background level at (x, y) in the picture's own values, grey levels: level() turned back
    /// where the map describes a chart's inverted values.
    double skyLevel(double x, double y) const { return m_inverted ? 255.0 - level(x, y) : level(x, y); }
    double noise(double x, double y) const { return interpolate(m_noise, x, y); }
    /// Background level at (x, y) as level(), and its slope there, grey levels per pixel along
    /// x and y: the plane that touches the map at that point.
    double levelAndSlope(double x, double y, double& gx, double& gy) const;

    /// level + k * noise along the centre line of cell row j, at the centre of every picture
    /// column, in 1/256 grey levels, into out (width values).
    void profile(int j, double k, float* out) const;
    /// The cell rows whose profiles blend into picture row y: row y's values are
    /// (1 - t) * profile(j0) + t * profile(j1).
    void rowBlend(int y, int& j0, int& j1, float& t) const;

  private:
    double interpolate(const QVector<float>& cells, double x, double y) const;
    void smoothNoise();
    /// Cell index below continuous position p along an axis of n cells of size cell, and the
    /// weight of the next cell.
    /// True when p lies between two cell centres (not clamped at an end).
    static bool locate(double p, double cell, int n, int& i0, int& i1, double& t);

    int m_width = 0, m_height = 0;
    int m_columns = 1, m_rows = 1;
    double m_cellW = 1, m_cellH = 1;
    bool m_inverted = false;
    double m_medianLevel = 0, m_medianNoise = 0;
    QVector<float> m_level, m_noise; ///< row after row of cells, grey levels
};

} // namespace vorlan
