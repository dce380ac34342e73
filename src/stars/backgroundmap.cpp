#include "stars/backgroundmap.h"

#include "stars/pixelluma.h"
#include "view/picturerows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace vorlan {

namespace {

constexpr int SampleRowStep = 8;
constexpr int SampleColumnStep = 4;

/// Columns between the two pixels of a noise sample: far enough apart that the smoothing of a
/// colour sensor's demosaicing and of JPEG leaves their noise unrelated.
constexpr int NoiseSpan = 3;
/// Differences are counted from -DiffBins / 2 to DiffBins / 2 - 1; larger ones (a star's edge)
/// land in the end bins, which leaves the median and MAD of the rest as they are.
constexpr int DiffBins = 128;

/// Median of integer values counted in bins, value v in bin v - first standing for the
/// interval [v - 0.5, v + 0.5), so that the result falls between values.
double binnedMedian(const quint16* h, int bins, int first, double n) {
    const double half = n / 2;
    double below = 0;
    int b = 0;
    while (b < bins - 1 && below + h[b] < half)
        below += h[b++];
    return first + b - 0.5 + (h[b] > 0 ? (half - below) / h[b] : 0.5);
}

/// Median absolute deviation from centre of values counted in bins as above.
double binnedMad(const quint16* h, int bins, int first, double n, double centre) {
    std::array<double, DiffBins + 1> below{};
    for (int b = 0; b < bins; ++b)
        below[b + 1] = below[b] + h[b];
    auto cdf = [&](double x) {
        const double p = std::clamp(x - first + 0.5, 0.0, double(bins));
        const int b = std::min(bins - 1, int(p));
        return below[b] + h[b] * (p - b);
    };
    double lo = 0, hi = bins;
    for (int i = 0; i < 30; ++i) {
        const double d = (lo + hi) / 2;
        (cdf(centre + d) - cdf(centre - d) < n / 2 ? lo : hi) = d;
    }
    return (lo + hi) / 2;
}

double medianOf(std::vector<float> v) {
    if (v.empty()) return 0;
    auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

BackgroundMap BackgroundMap::measure(const QImage& picture, int cellSize, double noiseFloor) {
    BackgroundMap m;
    m.m_width = picture.width();
    m.m_height = picture.height();
    cellSize = std::clamp(cellSize, 8, 1024);
    m.m_columns = std::max(1, int(std::lround(double(m.m_width) / cellSize)));
    m.m_rows = std::max(1, int(std::lround(double(m.m_height) / cellSize)));
    m.m_cellW = double(m.m_width) / m.m_columns;
    m.m_cellH = double(m.m_height) / m.m_rows;
    const int cells = m.m_columns * m.m_rows;
    m.m_level.resize(cells);
    m.m_noise.resize(cells);
    if (m.m_width == 0 || m.m_height == 0) return m;

    // Small cells are sampled more densely so that every cell keeps enough samples.
    const int rowStep = std::clamp(int(m.m_cellH / 8), 1, SampleRowStep);
    const int colStep = std::clamp(int(m.m_cellW / 16), 1, SampleColumnStep);
    std::vector<int> sampleX, sampleCell;
    for (int x = colStep / 2; x < m.m_width; x += colStep) {
        sampleX.push_back(x);
        sampleCell.push_back(std::min(m.m_columns - 1, int(x / m.m_cellW)));
    }
    // Noise from differences of pixels a few columns apart: a gradient across a cell (a galaxy,
    // a glow) shifts them all alike and leaves their spread to the noise alone.
    const bool grey = isGreyPicture(picture);
    std::vector<quint16> levels(size_t(m.m_columns) * 256), diffs(size_t(m.m_columns) * DiffBins);
    std::vector<int> samples(m.m_columns);
    auto rounded = [&](const PictureRow& row, int x) {
        return grey ? int(row.grey[x]) : (lumaOf(row.rgb[x]) + 128) >> 8;
    };
    for (int j = 0; j < m.m_rows; ++j) {
        std::fill(levels.begin(), levels.end(), 0);
        std::fill(diffs.begin(), diffs.end(), 0);
        std::fill(samples.begin(), samples.end(), 0);
        const int y0 = int(std::ceil(j * m.m_cellH)), y1 = std::min(m.m_height, int(std::ceil((j + 1) * m.m_cellH)));
        for (int y = y0 + rowStep / 2; y < y1; y += rowStep) {
            const PictureRow row = pictureRow(picture, y);
            for (size_t s = 0; s < sampleX.size(); ++s) {
                const int x = sampleX[s], cell = sampleCell[s];
                const int v = rounded(row, x);
                ++levels[size_t(cell) * 256 + v];
                ++samples[cell];
                const int xn = x + NoiseSpan < m.m_width ? x + NoiseSpan : x - NoiseSpan;
                if (xn < 0) continue;
                const int d = std::clamp(rounded(row, xn) - v + DiffBins / 2, 0, DiffBins - 1);
                ++diffs[size_t(cell) * DiffBins + d];
            }
        }
        for (int i = 0; i < m.m_columns; ++i) {
            const double n = samples[i];
            const quint16* dh = &diffs[size_t(i) * DiffBins];
            double noise = 0;
            if (n > 0 && m.m_width > NoiseSpan) {
                const double centre = binnedMedian(dh, DiffBins, -DiffBins / 2, n);
                noise = 1.4826 * binnedMad(dh, DiffBins, -DiffBins / 2, n, centre) / std::sqrt(2.0);
            }
            m.m_level[j * m.m_columns + i] = n > 0 ? float(binnedMedian(&levels[size_t(i) * 256], 256, 0, n)) : 0.0f;
            m.m_noise[j * m.m_columns + i] = float(std::max(noiseFloor, noise));
        }
    }
    m.m_medianLevel = medianOf(std::vector<float>(m.m_level.begin(), m.m_level.end()));
    m.m_medianNoise = medianOf(std::vector<float>(m.m_noise.begin(), m.m_noise.end()));
    m.m_columnCell.resize(m.m_width);
    m.m_columnWeight.resize(m.m_width);
    for (int x = 0; x < m.m_width; ++x) {
        int i0, i1;
        double t;
        locate(x + 0.5, m.m_cellW, m.m_columns, i0, i1, t);
        m.m_columnCell[x] = i0;
        m.m_columnWeight[x] = float(t);
    }
    if (m.m_medianLevel > 127.5) {
        m.m_inverted = true;
        for (float& v : m.m_level)
            v = 255.0f - v;
        m.m_medianLevel = 255.0 - m.m_medianLevel;
    }
    return m;
}

void BackgroundMap::locate(double p, double cell, int n, int& i0, int& i1, double& t) {
    const double f = p / cell - 0.5;
    i0 = std::clamp(int(std::floor(f)), 0, n - 1);
    i1 = std::min(i0 + 1, n - 1);
    t = i1 == i0 ? 0.0 : std::clamp(f - i0, 0.0, 1.0);
}

double BackgroundMap::interpolate(const QVector<float>& cells, double x, double y) const {
    int i0, i1, j0, j1;
    double tx, ty;
    locate(x, m_cellW, m_columns, i0, i1, tx);
    locate(y, m_cellH, m_rows, j0, j1, ty);
    auto at = [&](int i, int j) { return double(cells[j * m_columns + i]); };
    const double top = at(i0, j0) + tx * (at(i1, j0) - at(i0, j0));
    const double bottom = at(i0, j1) + tx * (at(i1, j1) - at(i0, j1));
    return top + ty * (bottom - top);
}

void BackgroundMap::profile(int j, double k, float* out) const {
    // One more cell at the right end, equal to the last, so that the last column blends with itself.
    std::vector<float> cell(m_columns + 1);
    for (int i = 0; i < m_columns; ++i)
        cell[i] = float(256.0 * (m_level[j * m_columns + i] + k * m_noise[j * m_columns + i]));
    cell[m_columns] = cell[m_columns - 1];
    for (int x = 0; x < m_width; ++x) {
        const int i = m_columnCell[x];
        out[x] = cell[i] + m_columnWeight[x] * (cell[i + 1] - cell[i]);
    }
}

void BackgroundMap::rowBlend(int y, int& j0, int& j1, float& t) const {
    double d;
    locate(y + 0.5, m_cellH, m_rows, j0, j1, d);
    t = float(d);
}

} // namespace vorlan
