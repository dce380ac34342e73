#include "stars/backgroundmap.h"

#include "stars/pixelluma.h"
#include "view/picturerows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

namespace vorlan {

namespace {

constexpr int SampleRowStep = 8;
constexpr int SampleColumnStep = 8;

/// Columns between the two pixels of a noise sample: far enough apart that the smoothing of a
/// colour sensor's demosaicing and of JPEG leaves their noise unrelated.
constexpr int NoiseSpan = 3;
/// Differences are counted from -DiffBins / 2 to DiffBins / 2 - 1; larger ones (a star's edge)
/// land in the end bins, which leaves the median and MAD of the rest as they are.
constexpr int DiffBins = 128;

/// Median of integer values counted in bins, value v in bin v - first standing for the
/// interval [v - 0.5, v + 0.5), so that the result falls between values. The search starts at
/// bin guess (the neighbouring cell's median, usually a bin or two away).
double binnedMedian(const quint16* h, int bins, int first, double n, int guess) {
    const double half = n / 2;
    int b = std::clamp(guess, 0, bins - 1);
    int below = 0; // count in the bins under b
    for (int i = 0; i < b; ++i)
        below += h[i];
    while (b > 0 && below >= half)
        below -= h[--b];
    while (b < bins - 1 && below + h[b] < half)
        below += h[b++];
    return first + b - 0.5 + (h[b] > 0 ? (half - below) / h[b] : 0.5);
}

/// Median absolute deviation from centre of values counted in bins as above: the half-width d
/// at which the interval [centre - d, centre + d] holds half the count, found by widening it
/// from one bin edge to the next (the count grows linearly in between).
double binnedMad(const quint16* h, int bins, int first, double n, double centre) {
    const double half = n / 2;
    // Position in bin units: bin b spans [b, b + 1).
    const double c = centre - first + 0.5;
    double d = 0, inside = 0;
    while (d < bins) {
        const double right = c + d, left = c - d;
        double toRight = std::ceil(right) - right, toLeft = left - std::floor(left);
        if (toRight <= 0) toRight = 1;
        if (toLeft <= 0) toLeft = 1;
        const double step = std::min(toRight, toLeft);
        const int rb = int(std::floor(right)), lb = int(std::ceil(left)) - 1;
        const double rate = (rb >= 0 && rb < bins ? h[rb] : 0) + (lb >= 0 && lb < bins ? h[lb] : 0);
        if (rate > 0 && inside + rate * step >= half) return d + (half - inside) / rate;
        inside += rate * step;
        d += step;
    }
    return d;
}

double medianOf(std::vector<float> v) {
    if (v.empty()) return 0;
    auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

BackgroundMap BackgroundMap::measure(const QImage& picture, int cellSize, double noiseFloor, Channel channel) {
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
    const int colStep = std::clamp(int(m.m_cellW / 8), 1, SampleColumnStep);
    struct Sample {
        int x, neighbour, cell;
    };
    std::vector<Sample> samplesOfRow;
    for (int x = colStep / 2; x < m.m_width; x += colStep)
        samplesOfRow.push_back({x, x + NoiseSpan < m.m_width ? x + NoiseSpan : std::max(0, x - NoiseSpan),
                                std::min(m.m_columns - 1, int(x / m.m_cellW))});
    // The order in which a row's samples are counted: each cell once before any cell again, so
    // that consecutive counts land in different histograms instead of waiting on each other in one.
    std::vector<int> countOrder(samplesOfRow.size());
    {
        std::vector<int> rank(samplesOfRow.size()), inCell(m.m_columns);
        for (size_t s = 0; s < samplesOfRow.size(); ++s)
            rank[s] = inCell[samplesOfRow[s].cell]++;
        std::iota(countOrder.begin(), countOrder.end(), 0);
        std::stable_sort(countOrder.begin(), countOrder.end(),
                         [&](int a, int b) { return rank[a] < rank[b]; });
    }
    // Noise from differences of pixels a few columns apart: a gradient across a cell (a galaxy,
    // a glow) shifts them all alike and leaves their spread to the noise alone.
    std::vector<quint16> levels(size_t(m.m_columns) * 256), diffs(size_t(m.m_columns) * DiffBins);
    std::vector<int> perRow(m.m_columns), samples(m.m_columns);
    for (const Sample& o : samplesOfRow)
        ++perRow[o.cell];
    std::vector<int> sampleLevel(samplesOfRow.size()), sampleDiff(samplesOfRow.size());
    // One sample: its rounded level and the difference to the pixel NoiseSpan columns on (or
    // back, at the right edge).
    auto sampleRows = [&](auto level, int y0, int y1) {
        for (int y = y0 + rowStep / 2; y < y1; y += rowStep) {
            const PictureRow row = pictureRow(picture, y);
            // Read along the row, then count.
            for (size_t s = 0; s < samplesOfRow.size(); ++s) {
                const int v = level(row, samplesOfRow[s].x);
                sampleLevel[s] = size_t(samplesOfRow[s].cell) * 256 + v;
                sampleDiff[s] =
                    size_t(samplesOfRow[s].cell) * DiffBins +
                    std::clamp(level(row, samplesOfRow[s].neighbour) - v + DiffBins / 2, 0, DiffBins - 1);
            }
            for (int s : countOrder) {
                ++levels[sampleLevel[s]];
                ++diffs[sampleDiff[s]];
            }
            for (int i = 0; i < m.m_columns; ++i)
                samples[i] += perRow[i];
        }
    };
    for (int j = 0; j < m.m_rows; ++j) {
        std::fill(levels.begin(), levels.end(), 0);
        std::fill(diffs.begin(), diffs.end(), 0);
        std::fill(samples.begin(), samples.end(), 0);
        const int y0 = int(std::ceil(j * m.m_cellH)),
                  y1 = std::min(m.m_height, int(std::ceil((j + 1) * m.m_cellH)));
        if (isGreyPicture(picture))
            sampleRows([](const PictureRow& row, int x) { return int(row.grey[x]); }, y0, y1);
        else if (channel == Channel::Brightness)
            sampleRows([](const PictureRow& row, int x) { return (lumaOf(row.rgb[x]) + 128) >> 8; }, y0, y1);
        else
            sampleRows([shift = channel == Channel::Red ? 16 : channel == Channel::Green ? 8 : 0](
                           const PictureRow& row, int x) { return int(row.rgb[x] >> shift) & 0xff; },
                       y0, y1);
        int guess = j > 0 ? int(m.m_level[(j - 1) * m.m_columns] + 0.5f) : 0;
        for (int i = 0; i < m.m_columns; ++i) {
            const double n = samples[i];
            const quint16* dh = &diffs[size_t(i) * DiffBins];
            double noise = 0;
            if (n > 0) {
                const double centre = binnedMedian(dh, DiffBins, -DiffBins / 2, n, DiffBins / 2);
                noise = 1.4826 * binnedMad(dh, DiffBins, -DiffBins / 2, n, centre) / std::sqrt(2.0);
            }
            const float level =
                n > 0 ? float(binnedMedian(&levels[size_t(i) * 256], 256, 0, n, guess)) : 0.0f;
            guess = int(level + 0.5f);
            m.m_level[j * m.m_columns + i] = level;
            m.m_noise[j * m.m_columns + i] = float(std::max(noiseFloor, noise));
        }
    }
    m.smoothNoise();
    m.m_medianLevel = medianOf(std::vector<float>(m.m_level.begin(), m.m_level.end()));
    m.m_medianNoise = medianOf(std::vector<float>(m.m_noise.begin(), m.m_noise.end()));
    if (m.m_medianLevel > 127.5) {
        m.m_inverted = true;
        for (float& v : m.m_level)
            v = 255.0f - v;
        m.m_medianLevel = 255.0 - m.m_medianLevel;
    }
    return m;
}

void BackgroundMap::smoothNoise() {
    // Each cell's noise from few samples scatters; the noise itself changes slowly over the
    // field, so a median of three along the rows and then along the columns holds it steadier.
    auto median3 = [](float a, float b, float c) {
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    };
    QVector<float> rows(m_noise.size());
    for (int j = 0; j < m_rows; ++j)
        for (int i = 0; i < m_columns; ++i) {
            const float* r = &m_noise[j * m_columns];
            rows[j * m_columns + i] = median3(r[std::max(0, i - 1)], r[i], r[std::min(m_columns - 1, i + 1)]);
        }
    for (int j = 0; j < m_rows; ++j)
        for (int i = 0; i < m_columns; ++i)
            m_noise[j * m_columns + i] =
                median3(rows[std::max(0, j - 1) * m_columns + i], rows[j * m_columns + i],
                        rows[std::min(m_rows - 1, j + 1) * m_columns + i]);
}

bool BackgroundMap::locate(double p, double cell, int n, int& i0, int& i1, double& t) {
    const double f = p / cell - 0.5;
    i0 = std::clamp(int(std::floor(f)), 0, n - 1);
    i1 = std::min(i0 + 1, n - 1);
    t = i1 == i0 ? 0.0 : std::clamp(f - i0, 0.0, 1.0);
    return i1 != i0 && f > i0 && f < i1;
}

double BackgroundMap::levelAndSlope(double x, double y, double& gx, double& gy) const {
    int i0, i1, j0, j1;
    double tx, ty;
    const bool betweenX = locate(x, m_cellW, m_columns, i0, i1, tx);
    const bool betweenY = locate(y, m_cellH, m_rows, j0, j1, ty);
    auto at = [&](int i, int j) { return double(m_level[j * m_columns + i]); };
    const double top = at(i0, j0) + tx * (at(i1, j0) - at(i0, j0));
    const double bottom = at(i0, j1) + tx * (at(i1, j1) - at(i0, j1));
    gx = betweenX ? ((1 - ty) * (at(i1, j0) - at(i0, j0)) + ty * (at(i1, j1) - at(i0, j1))) / m_cellW : 0.0;
    gy = betweenY ? (bottom - top) / m_cellH : 0.0;
    return top + ty * (bottom - top);
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
    auto cell = [&](int i) {
        return float(256.0 * (m_level[j * m_columns + i] + k * m_noise[j * m_columns + i]));
    };
    // Flat before the first cell centre and after the last, straight from centre to centre between.
    // Column x lies before the centre c when x + 0.5 < c, i.e. x < ceil(c - 0.5).
    auto before = [&](double c) { return std::clamp(int(std::ceil(c - 0.5)), 0, m_width); };
    int x = 0;
    const float first = cell(0);
    for (const int end = before(0.5 * m_cellW); x < end; ++x)
        out[x] = first;
    for (int i = 0; i + 1 < m_columns; ++i) {
        const float a = cell(i), slope = float((cell(i + 1) - a) / m_cellW);
        const float start = float(x + 0.5 - (i + 0.5) * m_cellW);
        const int from = x;
        for (const int end = before((i + 1.5) * m_cellW); x < end; ++x)
            out[x] = a + slope * (start + float(x - from));
    }
    const float last = cell(m_columns - 1);
    for (; x < m_width; ++x)
        out[x] = last;
}

void BackgroundMap::rowBlend(int y, int& j0, int& j1, float& t) const {
    double d;
    locate(y + 0.5, m_cellH, m_rows, j0, j1, d);
    t = float(d);
}

} // namespace vorlan
