#include "blink/framepalette.h"

#include "common/jobrunner.h"

#include "view/picturerows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <queue>

namespace vorlan {

namespace {

constexpr size_t MaxEntries = 256;
/// Levels per channel a pixel may move: the entries are placed to bring as many pixels as they
/// can within this distance of their colour in every channel.
constexpr int Tolerance = 3;
/// Entries placed to cover the most pixels; the others are spread over the colours left out
/// (star cores, saturated spots), so no colour of the frames is far from every entry.
constexpr size_t CoverEntries = 224;

/// Sorts 24-bit keys (0xRRGGBB) in three counting passes of one byte each.
void radixSort24(std::vector<quint32>& keys) {
    std::vector<quint32> sorted(keys.size());
    for (int shift = 0; shift < 24 && !stopRequestedHere(); shift += 8) {
        std::array<size_t, 257> start{};
        for (const quint32 k : keys)
            ++start[((k >> shift) & 0xff) + 1];
        for (int i = 0; i < 256; ++i)
            start[size_t(i) + 1] += start[size_t(i)];
        for (const quint32 k : keys)
            sorted[start[(k >> shift) & 0xff]++] = k;
        keys.swap(sorted);
    }
}

using Entry = std::array<int, 3>; ///< red, green, blue, 0..255

Entry entryOf(quint32 key) {
    return {int(key >> 16) & 0xff, int(key >> 8) & 0xff, int(key) & 0xff};
}

/// One distinct colour with the number of pixels that hold it.
struct Colour {
    Entry c;
    double weight;
};

/// The distinct colours (keys ascending), with the pixels not yet within Tolerance of an entry.
/// Keys sharing red and green lie together, ordered by blue, so the colours near one colour are
/// 7 x 7 short runs.
class ColourCube {
  public:
    ColourCube(const std::vector<quint32>& keys, const std::vector<quint32>& weights)
        : m_keys(keys), m_uncovered(weights), m_owner(keys.size(), -1), m_runStart(65537, 0) {
        for (const quint32 k : keys)
            ++m_runStart[(k >> 8) + 1];
        for (size_t i = 0; i < 65536; ++i)
            m_runStart[i + 1] += m_runStart[i];
    }

    /// Pixels not yet covered within Tolerance of colour i.
    quint64 uncoveredNear(size_t i) const {
        quint64 sum = 0;
        forNear(i, [&](size_t j) { sum += m_uncovered[j]; });
        return sum;
    }
    /// Makes colour i entry number entry: every colour within Tolerance of it is covered.
    void cover(size_t i, int entry) {
        forNear(i, [&](size_t j) {
            if (m_uncovered[j]) m_owner[j] = entry;
            m_uncovered[j] = 0;
        });
    }
    quint32 uncovered(size_t i) const { return m_uncovered[i]; }
    /// The entry that covers colour i, -1 when none does.
    int owner(size_t i) const { return m_owner[i]; }

  private:
    template <class F> void forNear(size_t i, F f) const {
        const Entry c = entryOf(m_keys[i]);
        for (int r = std::max(0, c[0] - Tolerance); r <= std::min(255, c[0] + Tolerance); ++r)
            for (int g = std::max(0, c[1] - Tolerance); g <= std::min(255, c[1] + Tolerance); ++g) {
                const size_t run = size_t(r << 8 | g);
                for (size_t j = m_runStart[run]; j < m_runStart[run + 1]; ++j) {
                    const int b = int(m_keys[j] & 0xff);
                    if (b > c[2] + Tolerance) break;
                    if (b >= c[2] - Tolerance) f(j);
                }
            }
    }
    const std::vector<quint32>& m_keys;
    std::vector<quint32> m_uncovered;
    std::vector<int> m_owner;
    std::vector<size_t> m_runStart; ///< first key of each red-green pair, and one past the last
};

/// Greedy maximum coverage: again and again the colour whose neighbourhood holds the most pixels
/// not yet covered becomes an entry (gains only shrink, so a stale gain is an upper bound and is
/// recomputed only when it reaches the top). Stops at count entries or when every pixel is covered.
std::vector<Entry> coveringEntries(ColourCube& cube, const std::vector<quint32>& keys, size_t count) {
    std::priority_queue<std::pair<quint64, size_t>> gains;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i % 4096 == 0 && stopRequestedHere()) return {};
        gains.push({cube.uncoveredNear(i), i});
    }
    std::vector<Entry> entries;
    while (entries.size() < count && !gains.empty() && !stopRequestedHere()) {
        const size_t i = gains.top().second;
        gains.pop();
        const quint64 gain = cube.uncoveredNear(i);
        if (gain == 0) continue;
        if (!gains.empty() && gain < gains.top().first) {
            gains.push({gain, i});
            continue;
        }
        cube.cover(i, int(entries.size()));
        entries.push_back(entryOf(keys[i]));
    }
    return entries;
}

/// A box of the median cut: the colours [begin, end) of the working array.
struct Box {
    size_t begin = 0, end = 0;
    std::array<double, 3> sse{}; ///< weighted sum of squared deviations from the mean, per channel
    std::array<double, 3> mean{};
    bool splittable = false; ///< holds more than one distinct colour

    double error() const { return splittable ? sse[0] + sse[1] + sse[2] : -1.0; }
};

Box makeBox(const std::vector<Colour>& colours, size_t begin, size_t end) {
    Box box{begin, end, {}, {}, false};
    std::array<double, 3> s1{}, s2{};
    std::array<int, 3> lo{255, 255, 255}, hi{0, 0, 0};
    double w = 0;
    for (size_t i = begin; i < end; ++i) {
        const Colour& p = colours[i];
        w += p.weight;
        for (int ch = 0; ch < 3; ++ch) {
            s1[size_t(ch)] += double(p.weight) * p.c[size_t(ch)];
            s2[size_t(ch)] += double(p.weight) * p.c[size_t(ch)] * p.c[size_t(ch)];
            lo[size_t(ch)] = std::min(lo[size_t(ch)], p.c[size_t(ch)]);
            hi[size_t(ch)] = std::max(hi[size_t(ch)], p.c[size_t(ch)]);
        }
    }
    for (size_t ch = 0; ch < 3; ++ch) {
        box.mean[ch] = s1[ch] / w;
        box.sse[ch] = std::max(0.0, s2[ch] - s1[ch] * s1[ch] / w);
        box.splittable = box.splittable || hi[ch] > lo[ch];
    }
    return box;
}

/// Splits box along the channel that varies most, at the level that leaves the two halves with the
/// least summed squared deviation (found from the channel's weighted histogram).
std::pair<Box, Box> splitBox(std::vector<Colour>& colours, const Box& box) {
    size_t ch = 0;
    for (size_t k = 1; k < 3; ++k)
        if (box.sse[k] > box.sse[ch]) ch = k;
    std::array<double, 256> w{}, s1{}, s2{};
    for (size_t i = box.begin; i < box.end; ++i) {
        const int v = colours[i].c[ch];
        w[size_t(v)] += colours[i].weight;
        s1[size_t(v)] += double(colours[i].weight) * v;
        s2[size_t(v)] += double(colours[i].weight) * v * v;
    }
    double tw = 0, t1 = 0, t2 = 0;
    for (size_t v = 0; v < 256; ++v) {
        tw += w[v];
        t1 += s1[v];
        t2 += s2[v];
    }
    auto sse = [](double cw, double c1, double c2) { return cw > 0 ? c2 - c1 * c1 / cw : 0.0; };
    double lw = 0, l1 = 0, l2 = 0, best = -1;
    int cut = -1; // colours with the channel at or below cut go left
    for (int v = 0; v < 255; ++v) {
        lw += w[size_t(v)];
        l1 += s1[size_t(v)];
        l2 += s2[size_t(v)];
        if (lw <= 0 || lw >= tw) continue;
        const double e = sse(lw, l1, l2) + sse(tw - lw, t1 - l1, t2 - l2);
        if (best < 0 || e < best) {
            best = e;
            cut = v;
        }
    }
    const auto middle =
        std::partition(colours.begin() + ptrdiff_t(box.begin), colours.begin() + ptrdiff_t(box.end),
                       [ch, cut](const Colour& p) { return p.c[ch] <= cut; });
    const size_t m = size_t(middle - colours.begin());
    return {makeBox(colours, box.begin, m), makeBox(colours, m, box.end)};
}

/// Median cut (variance-based): the entries are the weighted means of up to count boxes.
std::vector<Entry> medianCut(std::vector<Colour> colours, size_t count) {
    std::vector<Box> boxes{makeBox(colours, 0, colours.size())};
    while (boxes.size() < count && !stopRequestedHere()) {
        const auto worst = std::max_element(boxes.begin(), boxes.end(),
                                            [](const Box& a, const Box& b) { return a.error() < b.error(); });
        if (!worst->splittable) break;
        const auto [left, right] = splitBox(colours, *worst);
        *worst = left;
        boxes.push_back(right);
    }
    std::vector<Entry> entries;
    for (const Box& b : boxes)
        entries.push_back(
            {int(std::lround(b.mean[0])), int(std::lround(b.mean[1])), int(std::lround(b.mean[2]))});
    return entries;
}

constexpr int Far = 3 * 255 * 255 + 1; // more than any squared distance

/// How far entry e is from colour c: the squared distance, plus Far when some channel is more than
/// Tolerance off, so that an entry within Tolerance always wins.
int cost(const Entry& c, const Entry& e) {
    const int dr = c[0] - e[0], dg = c[1] - e[1], db = c[2] - e[2];
    const int d = dr * dr + dg * dg + db * db;
    return std::max({std::abs(dr), std::abs(dg), std::abs(db)}) > Tolerance ? d + Far : d;
}

/// The least cost of an entry whose green differs by dg from the colour's.
int leastCost(int dg) {
    return dg * dg + (dg > Tolerance ? Far : 0);
}

/// Nearest-entry search: entries sorted by green, scanned outwards from a colour's green level
/// until the green difference alone rules out the rest.
class NearestEntry {
  public:
    explicit NearestEntry(const std::vector<Entry>& entries) : m_entries(entries) {
        for (size_t i = 0; i < entries.size(); ++i)
            m_byGreen.push_back(int(i));
        std::sort(m_byGreen.begin(), m_byGreen.end(),
                  [&](int a, int b) { return entries[size_t(a)][1] < entries[size_t(b)][1]; });
        for (const int i : m_byGreen)
            m_green.push_back(entries[size_t(i)][1]);
    }

    /// The entry of least cost for c, starting from the guess (any entry).
    int find(const Entry& c, int guess) const {
        int best = guess, bestCost = cost(c, m_entries[size_t(guess)]);
        const size_t start = size_t(std::lower_bound(m_green.begin(), m_green.end(), c[1]) - m_green.begin());
        for (size_t i = start; i < m_green.size() && leastCost(m_green[i] - c[1]) < bestCost; ++i)
            consider(c, m_byGreen[i], best, bestCost);
        for (size_t i = start; i-- > 0 && leastCost(c[1] - m_green[i]) < bestCost;)
            consider(c, m_byGreen[i], best, bestCost);
        return best;
    }

  private:
    void consider(const Entry& c, int entry, int& best, int& bestCost) const {
        const int d = cost(c, m_entries[size_t(entry)]);
        if (d < bestCost || (d == bestCost && entry < best)) {
            best = entry;
            bestCost = d;
        }
    }
    const std::vector<Entry>& m_entries;
    std::vector<int> m_byGreen;
    std::vector<int> m_green;
};

} // namespace

FramePalette FramePalette::build(const QVector<QImage>& frames) {
    std::vector<quint32> keys;
    qsizetype pixels = 0;
    for (const QImage& f : frames)
        pixels += qsizetype(f.width()) * f.height();
    keys.reserve(size_t(pixels));
    std::vector<QRgb> row;
    for (const QImage& f : frames) {
        row.resize(size_t(f.width()));
        for (int y = 0; y < f.height(); ++y) {
            // A stopped job gets no palette; the writer then writes nothing.
            if (stopRequestedHere()) return {};
            pictureRow(f, y).copyColours(0, f.width(), row.data());
            for (const QRgb c : row)
                keys.push_back(c & 0xffffffu);
        }
    }
    radixSort24(keys);
    if (stopRequestedHere()) return {};

    FramePalette p;
    std::vector<quint32> weights;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (p.m_keys.empty() || p.m_keys.back() != keys[i]) {
            p.m_keys.push_back(keys[i]);
            weights.push_back(0);
        }
        ++weights.back();
    }
    keys = {};

    if (p.m_keys.size() <= MaxEntries) {
        for (size_t i = 0; i < p.m_keys.size(); ++i) {
            p.m_colours.push_back(0xff000000u | p.m_keys[i]);
            p.m_entries.push_back(uchar(i));
        }
        return p;
    }

    ColourCube cube(p.m_keys, weights);
    std::vector<Entry> entries = coveringEntries(cube, p.m_keys, CoverEntries);
    if (stopRequestedHere()) return {};
    std::vector<Colour> left;
    for (size_t i = 0; i < p.m_keys.size(); ++i)
        if (cube.uncovered(i)) left.push_back({entryOf(p.m_keys[i]), double(cube.uncovered(i))});
    if (!left.empty()) {
        const std::vector<Entry> spread = medianCut(left, MaxEntries - entries.size());
        entries.insert(entries.end(), spread.begin(), spread.end());
    }

    const NearestEntry nearest(entries);
    for (size_t i = 0; i < p.m_keys.size(); ++i) {
        if (i % 4096 == 0 && stopRequestedHere()) return {};
        p.m_entries.push_back(uchar(nearest.find(entryOf(p.m_keys[i]), std::max(0, cube.owner(i)))));
    }
    for (const Entry& e : entries)
        p.m_colours.push_back(qRgb(e[0], e[1], e[2]));
    return p;
}

uchar FramePalette::index(QRgb c) const {
    const auto it = std::lower_bound(m_keys.begin(), m_keys.end(), c & 0xffffffu);
    return m_entries[std::min(size_t(it - m_keys.begin()), m_entries.size() - 1)];
}

} // namespace vorlan
