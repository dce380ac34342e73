#include "blink/brightnessmatch.h"

#include "common/jobrunner.h"
#include "common/numberforms.h"
#include "view/picturerows.h"
#include "view/rowbands.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace vorlan {

namespace {

/// A level of picture k seen by fewer samples says too little about where its quantile lies.
constexpr uint32_t MinLevelCount = 2;
/// Slopes between levels closer than this are mostly the rounding of the two values.
constexpr double MinLevelGap = 4;
/// Lines steeper or flatter than this are no brightness change but a failed fit.
constexpr double SteepestLine = 64;

/// One level of picture k and the value of picture 1 at the same quantile.
struct LevelPair {
    double v, u;
    uint32_t count;
};

std::vector<LevelPair> quantilePairs(const LevelCounts& h1, const LevelCounts& hk) {
    std::array<double, 257> below1{}; // samples of picture 1 under each level
    for (size_t v = 0; v < 256; ++v)
        below1[v + 1] = below1[v] + h1[v];
    const double n1 = below1[256];
    const double nk = std::accumulate(hk.begin(), hk.end(), 0.0);
    std::vector<LevelPair> pairs;
    if (n1 <= 0 || nk <= 0) return pairs;
    double belowK = 0;
    for (int v = 0; v < 256; ++v) {
        const uint32_t c = hk[size_t(v)];
        if (c == 0) continue;
        const double mid = (belowK + c / 2.0) * (n1 / nk);
        belowK += c;
        if (v == 0 || v == 255 || c < MinLevelCount) continue;
        // Picture 1's value at that quantile, each of its levels spread evenly over [u - 0.5, u + 0.5).
        const int u = std::clamp(
            int(std::upper_bound(below1.begin() + 1, below1.end(), mid) - below1.begin()) - 1, 0, 255);
        const double within = h1[size_t(u)] ? (mid - below1[size_t(u)]) / h1[size_t(u)] : 0.5;
        const double value = u - 0.5 + within;
        if (value < 0.5 || value > 254.5) continue; // where picture 1 was clipped
        pairs.push_back({double(v), value, c});
    }
    return pairs;
}

double median(std::vector<double>& values) {
    const auto mid = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    if (values.size() % 2) return *mid;
    return (*mid + *std::max_element(values.begin(), mid)) / 2;
}

/// The Theil-Sen slope of the pairs: the median of the slopes between levels at least minGap apart.
std::optional<double> medianSlope(const std::vector<LevelPair>& pairs, double minGap) {
    std::vector<double> slopes;
    for (size_t i = 0; i < pairs.size(); ++i)
        for (size_t j = i + 1; j < pairs.size(); ++j)
            if (pairs[j].v - pairs[i].v >= minGap)
                slopes.push_back((pairs[j].u - pairs[i].u) / (pairs[j].v - pairs[i].v));
    if (slopes.empty()) return std::nullopt;
    return median(slopes);
}

/// One channel's value in picture 1 and in picture k at the same sample point.
struct SamplePair {
    uchar one, k;
};
using SamplePairs = std::vector<SamplePair>;

/// The median of values counted in a histogram whose bin 0 stands for value `first`.
template <size_t N> double countedMedian(const std::array<uint32_t, N>& counts, int first) {
    const uint64_t total = std::accumulate(counts.begin(), counts.end(), uint64_t(0));
    uint64_t seen = 0;
    for (size_t i = 0; i < N; ++i) {
        seen += counts[i];
        if (2 * seen >= total) return first + int(i);
    }
    return first;
}

/// Quantiles matched on the pairs that pass `keep`, both pictures' histograms taken from the
/// same pairs.
template <typename Keep> std::optional<ToneLine> matchPairs(const SamplePairs& pairs, const Keep& keep) {
    LevelCounts one{}, k{};
    for (const SamplePair& p : pairs)
        if (keep(p)) {
            ++one[p.one];
            ++k[p.k];
        }
    return matchLevels(one, k);
}

/// The line of one channel from its sample pairs. Matched quantiles alone follow whatever the
/// two pictures' sky holds; a star that is only in one of them (a nova, a moving object leaving
/// the shared sky) moves the upper quantiles of one picture. So the quantiles are matched again
/// on the pairs that agree with the first line: pairs far from it (the changed sky) leave both
/// histograms at once. "Far" grows with the height above the sky background, since a small
/// error of the first line, or of the registration on a star's flank, grows with it too.
std::optional<ToneLine> fitChannel(const SamplePairs& pairs) {
    std::optional<ToneLine> line = matchPairs(pairs, [](const SamplePair&) { return true; });
    // Each round sheds more of the changed sky; a trail across a sparse field takes a few rounds.
    for (int round = 0; round < 8 && line; ++round) {
        std::array<uint32_t, 511> residuals{}; // line(k) - one, rounded, from -255
        LevelCounts ones{};
        for (const SamplePair& p : pairs) {
            ++residuals[size_t(std::clamp(int(std::lround(line->at(p.k) - p.one)), -255, 255) + 255)];
            ++ones[p.one];
        }
        const double centre = countedMedian(residuals, -255);
        std::array<uint32_t, 511> deviations{};
        for (size_t i = 0; i < residuals.size(); ++i)
            deviations[size_t(std::min(510.0, std::abs(int(i) - 255 - centre)))] += residuals[i];
        const double sigma = 1.4826 * countedMedian(deviations, 0);
        const double background = countedMedian(ones, 0);
        const ToneLine first = *line;
        const std::optional<ToneLine> next = matchPairs(pairs, [&](const SamplePair& p) {
            const double allowed = std::max({3.0, 4 * sigma, 0.25 * std::abs(p.one - background)});
            return std::abs(first.at(p.k) - p.one - centre) <= allowed;
        });
        if (!next) break;
        const bool settled = std::abs(next->a - line->a) * 255 < 0.5 && std::abs(next->b - line->b) < 0.5;
        line = next;
        if (settled) break;
    }
    return line;
}

bool usableSlope(double a) {
    return a > 1.0 / SteepestLine && a < SteepestLine;
}

/// Which picture pixel the grid point falls on along one axis, -1 outside.
int nearestIndex(double p1, double scale, double offset, int size) {
    const double p = scale * (p1 + 0.5) + offset;
    return p >= 0 && p < size ? int(p) : -1;
}

/// Both neighbours of a sample position along one axis and the weight of the second in 256ths;
/// inside is false where the position lies beyond the picture's outer pixel centres by more than
/// half a pixel.
struct Tap {
    int first = 0, second = 0;
    uint32_t weight = 0;
    bool inside = false;
};

std::vector<Tap> taps(int count, double scale, double offset, int size) {
    std::vector<Tap> t(size_t(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
        const double p = scale * (i + 0.5) + offset - 0.5; // in pixel-centre units of picture k
        Tap& tap = t[size_t(i)];
        tap.inside = p >= -0.5 && p < size - 0.5;
        if (!tap.inside) continue;
        const double f = std::floor(p);
        tap.first = std::clamp(int(f), 0, size - 1);
        tap.second = std::clamp(int(f) + 1, 0, size - 1);
        tap.weight = uint32_t(std::lround((p - f) * 256));
    }
    return t;
}

/// The columns [first, last) of picture 1's row y whose pixel centres fall inside picture k's
/// footprint through mapping; all w columns when the footprint is the whole drawn picture.
std::pair<int, int> footprintColumns(int y, int w, const PixelMapping& m, const Footprint& fp) {
    if (fp.size.isEmpty()) return {0, w};
    // Along the row the decoded picture's position is start + x * step, x the column.
    const QPointF start = fp.toFile.map(m.map(QPointF(0.5, y + 0.5)));
    const QPointF step = fp.toFile.map(m.map(QPointF(1.5, y + 0.5))) - start;
    double lo = 0, hi = w - 1;
    auto clip = [&](double from, double by, double least, double most) {
        if (std::abs(by) < 1e-12) {
            if (from < least || from > most) hi = lo - 1;
            return;
        }
        const double a = (least - from) / by, b = (most - from) / by;
        lo = std::max(lo, std::min(a, b));
        hi = std::min(hi, std::max(a, b));
    };
    // Two pixels in from the border: the turned copy's pixels there took black from outside.
    clip(start.x(), step.x(), 2, fp.size.width() - 2);
    clip(start.y(), step.y(), 2, fp.size.height() - 2);
    const int first = std::clamp(int(std::ceil(lo)), 0, w);
    return {first, std::clamp(int(std::floor(hi)) + 1, first, w)};
}

/// Grey values a and b mixed, b weighing w 256ths, rounded.
inline uint32_t mixGrey(uint32_t a, uint32_t b, uint32_t w) {
    return (a * (256 - w) + b * w + 128) >> 8;
}

/// Colours a and b mixed channel by channel, b weighing w 256ths, rounded: red and blue share one
/// multiplication, 16 bits apart, and never carry into each other.
inline QRgb mixColour(QRgb a, QRgb b, uint32_t w) {
    const uint32_t v = 256 - w;
    const uint32_t rb = (((a & 0xff00ffu) * v + (b & 0xff00ffu) * w + 0x800080u) >> 8) & 0xff00ffu;
    const uint32_t g = (((a & 0xff00u) * v + (b & 0xff00u) * w + 0x8000u) >> 8) & 0xff00u;
    return rb | g;
}

/// Where a sample pair was taken: the pixel of picture 1 and the pixel of picture k.
struct SamplePlace {
    int x1, y1, xk, yk;
};

/// The sky a value stands above, moved to mid grey: 128 + v - sky, within 1..254 so that only
/// values clipped in the picture itself (0, 255) are taken for clipped.
uchar aboveSky(uchar v, double sky) {
    if (v == 0 || v == 255) return v;
    return uchar(std::clamp(int(std::lround(v - sky + 128)), 1, 254));
}

/// Where the two pictures' skies differ in shape, one line per channel cannot match them: the
/// skies are measured, and when they differ by more than LeastSkyOffset anywhere on the shared
/// sky the lines are fitted again on the heights above each sky and the skies go into the fit.
void matchSkies(BrightnessFit& fit, const QImage& picture1, const QImage& pictureK, const PixelMapping& m,
                const Footprint& footprint, const std::array<SamplePairs, 3>& pairs,
                const std::vector<SamplePlace>& places) {
    const bool ownSky = !footprint.decoded.isNull() && !footprint.size.isEmpty();
    const QImage& skyK = ownSky ? footprint.decoded : pictureK;
    const int channels = fit.grey ? 1 : 3;
    using Channel = BackgroundMap::Channel;
    const Channel channelOf[3] = {fit.grey ? Channel::Brightness : Channel::Red, Channel::Green, Channel::Blue};
    std::array<BackgroundMap, 3> one, k;
    for (int ch = 0; ch < channels; ++ch) {
        one[size_t(ch)] = BackgroundMap::measure(picture1, 64, 0.5, channelOf[ch]);
        k[size_t(ch)] = BackgroundMap::measure(skyK, 64, 0.5, channelOf[ch]);
    }
    auto sky = std::make_shared<SkyGradients>(one, k, m, fit.grey,
                                              ownSky ? footprint.toFile : SimilarityTransform());
    std::array<ToneLine, 3> slopes{};
    for (int ch = 0; ch < 3; ++ch)
        slopes[size_t(ch)] = {fit.rgb[size_t(ch)].a, 0};
    sky->setResidualLines(slopes);
    if (sky->largestOffset(picture1.size(), pictureK.size()) <= LeastSkyOffset) return;

    std::array<ToneLine, 3> residual = slopes;
    for (int ch = 0; ch < channels; ++ch) {
        SamplePairs above(pairs[size_t(ch)].size());
        for (size_t i = 0; i < above.size(); ++i) {
            const SamplePlace& p = places[i];
            above[i] = {aboveSky(pairs[size_t(ch)][i].one, sky->skyOne(ch, QPointF(p.x1 + 0.5, p.y1 + 0.5))),
                        aboveSky(pairs[size_t(ch)][i].k, sky->skyK(ch, QPointF(p.xk + 0.5, p.yk + 0.5)))};
        }
        // Heights above the sky, both moved to 128: h1 + 128 = a (hk + 128) + b.
        if (const std::optional<ToneLine> line = fitChannel(above))
            residual[size_t(ch)] = {line->a, line->b + 128 * line->a - 128};
    }
    if (fit.grey) residual[1] = residual[2] = residual[0];
    sky->setResidualLines(residual);
    for (int ch = 0; ch < 3; ++ch)
        fit.rgb[size_t(ch)] = sky->line(ch);
    fit.sky = sky;
}

/// 128 + m - v1 clipped to 0..255, looked up at m - v1 + 255.
std::array<uchar, 511> differenceLevels() {
    std::array<uchar, 511> levels{};
    for (int d = -255; d <= 255; ++d)
        levels[size_t(d + 255)] = uchar(std::clamp(128 + d, 0, 255));
    return levels;
}

} // namespace

PixelMapping mappingBetween(double left1, double top1, double scale1, double leftK, double topK,
                            double scaleK) {
    return {scale1 / scaleK, (left1 - leftK) / scaleK, (top1 - topK) / scaleK};
}

bool sameRegistration(const PixelMapping& a, const PixelMapping& b, double extent) {
    constexpr double Tolerance = 0.02;
    return std::abs(a.scale - b.scale) * extent < Tolerance && std::abs(a.dx - b.dx) < Tolerance &&
           std::abs(a.dy - b.dy) < Tolerance;
}

std::optional<ToneLine> matchLevels(const LevelCounts& picture1, const LevelCounts& pictureK) {
    const std::vector<LevelPair> pairs = quantilePairs(picture1, pictureK);
    if (pairs.size() < 2) return std::nullopt;
    std::optional<double> slope = medianSlope(pairs, MinLevelGap);
    if (!slope) slope = medianSlope(pairs, 1); // all levels close together: what they give
    if (!slope || !usableSlope(*slope)) return std::nullopt;
    const double a = *slope;
    // The offset that most samples agree on: the weighted median, so the background, which covers
    // most of the sky, is matched best.
    std::vector<std::pair<double, uint32_t>> offsets;
    uint64_t total = 0;
    for (const LevelPair& p : pairs) {
        offsets.push_back({p.u - a * p.v, p.count});
        total += p.count;
    }
    std::sort(offsets.begin(), offsets.end());
    uint64_t seen = 0;
    double b = offsets.back().first;
    for (const auto& [offset, count] : offsets) {
        seen += count;
        if (2 * seen >= total) {
            b = offset;
            break;
        }
    }
    return ToneLine{a, b};
}

BrightnessFit fitBrightness(const QImage& picture1In, const QImage& pictureKIn, const PixelMapping& m,
                            const Footprint& footprint) {
    BrightnessFit fit;
    if (picture1In.isNull() || pictureKIn.isNull() || !(m.scale > 0)) return fit;
    const QImage picture1 = rowReadable(picture1In), pictureK = rowReadable(pictureKIn);
    fit.grey = isGreyPicture(picture1) && isGreyPicture(pictureK);
    const int w1 = picture1.width(), h1 = picture1.height();
    const int step = std::max(1, int(std::ceil(std::sqrt(double(w1) * h1 / FitSampleTarget))));
    std::vector<int> columns, columnsK;
    for (int i = step / 2; i < w1; i += step)
        if (const int k = nearestIndex(i, m.scale, m.dx, pictureK.width()); k >= 0) {
            columns.push_back(i);
            columnsK.push_back(k);
        }

    // The sample pairs, channel by channel: picture 1's value and picture k's at the same sky;
    // and where each pair was taken.
    const int channels = fit.grey ? 1 : 3;
    std::array<SamplePairs, 3> pairs;
    std::vector<SamplePlace> places;
    for (int j = step / 2; j < h1 && !columns.empty(); j += step) {
        const int jk = nearestIndex(j, m.scale, m.dy, pictureK.height());
        if (jk < 0) continue;
        const PictureRow row1 = pictureRow(picture1, j), rowK = pictureRow(pictureK, jk);
        const auto [first, last] = footprintColumns(j, w1, m, footprint);
        const size_t from = size_t(std::lower_bound(columns.begin(), columns.end(), first) - columns.begin());
        const size_t to = size_t(std::lower_bound(columns.begin(), columns.end(), last) - columns.begin());
        for (size_t c = from; c < to; ++c)
            places.push_back({columns[c], j, columnsK[c], jk});
        if (fit.grey) {
            for (size_t c = from; c < to; ++c)
                pairs[0].push_back({row1.grey[columns[c]], rowK.grey[columnsK[c]]});
        } else {
            for (size_t c = from; c < to; ++c) {
                const QRgb a = row1.colour(columns[c]), b = rowK.colour(columnsK[c]);
                pairs[0].push_back({uchar(qRed(a)), uchar(qRed(b))});
                pairs[1].push_back({uchar(qGreen(a)), uchar(qGreen(b))});
                pairs[2].push_back({uchar(qBlue(a)), uchar(qBlue(b))});
            }
        }
        fit.samples += int(to - from);
    }

    for (int ch = 0; ch < channels; ++ch) {
        const std::optional<ToneLine> line = fitChannel(pairs[size_t(ch)]);
        if (!line) continue;
        fit.rgb[size_t(ch)] = *line;
        fit.valid = true;
    }
    if (fit.grey) fit.rgb[1] = fit.rgb[2] = fit.rgb[0];
    if (fit.valid) matchSkies(fit, picture1, pictureK, m, footprint, pairs, places);
    return fit;
}

QImage differencePicture(const QImage& picture1In, const QImage& pictureKIn, const PixelMapping& m,
                         const BrightnessFit& fit, const Footprint& footprint) {
    if (picture1In.isNull() || pictureKIn.isNull() || !(m.scale > 0)) return {};
    const QImage picture1 = rowReadable(picture1In), pictureK = rowReadable(pictureKIn);
    const bool grey = isGreyPicture(picture1) && isGreyPicture(pictureK);
    const int w = picture1.width(), h = picture1.height();
    QImage out(picture1.size(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    const std::vector<Tap> across = taps(w, m.scale, m.dx, pictureK.width());
    const std::vector<Tap> down = taps(h, m.scale, m.dy, pictureK.height());
    // Picture k at picture 1's brightness through the tables the frames draw with.
    const ToneMap tone(fit.rgb);
    const std::array<uchar, 511> levels = differenceLevels();
    // Level of one channel: vk picture k's value, matched its value at picture 1's brightness. A
    // clipped value is only a bound (a saturated core was at least that bright), so it shows a
    // change only where even the bound disagrees.
    auto difference = [&levels](uint32_t matched, int vk, int v1, float skyOffset = 0) {
        int d = int(matched & 0xff) + int(std::lround(skyOffset)) - v1;
        if ((d < 0 && (vk == 255 || v1 == 0)) || (d > 0 && (vk == 0 || v1 == 255))) d = 0;
        return levels[size_t(d + 255)];
    };
    // Raw rows, taken before the bands start: worker threads must not call QImage members that
    // may detach.
    uchar* const outBits = out.bits();
    const qsizetype outStride = out.bytesPerLine();
    // The bands run on pool threads, which know no job of their own: they poll this one's stop.
    const JobControl* const job = JobControl::current();

    inBands(h, double(w) * h * (grey ? 2 : 6), [&](int y0, int y1) {
        // Where the skies differ in shape, what picture k's smooth sky adds at each column.
        std::vector<float> skyOffsets(fit.sky ? size_t(w) * 3 : 0);
        auto skyOffset = [&](int ch, int x) { return fit.sky ? skyOffsets[size_t(ch) * w + x] : 0.0f; };
        for (int y = y0; y < y1 && !(job && job->stopRequested()); ++y) {
            if (fit.sky)
                for (int ch = 0; ch < (grey ? 1 : 3); ++ch)
                    fit.sky->offsetRow(ch, m.map(QPointF(0.5, y + 0.5)), QPointF(m.scale, 0), w,
                                       skyOffsets.data() + size_t(ch) * w);
            uchar* line = outBits + y * outStride;
            auto* rgb = reinterpret_cast<QRgb*>(line);
            const Tap& ty = down[size_t(y)];
            if (!ty.inside) {
                if (grey)
                    std::fill(line, line + w, uchar(128));
                else
                    std::fill(rgb, rgb + w, qRgb(128, 128, 128));
                continue;
            }
            const PictureRow row1 = pictureRow(picture1, y);
            const PictureRow upper = pictureRow(pictureK, ty.first), lower = pictureRow(pictureK, ty.second);
            const auto [first, last] = footprintColumns(y, w, m, footprint);
            for (int x = 0; x < w; ++x) {
                const Tap& tx = across[size_t(x)];
                if (!tx.inside || x < first || x >= last) {
                    if (grey)
                        line[x] = 128;
                    else
                        rgb[x] = qRgb(128, 128, 128);
                    continue;
                }
                if (grey) {
                    const uint32_t top =
                        mixGrey(uint32_t(upper.grey[tx.first]), uint32_t(upper.grey[tx.second]), tx.weight);
                    const uint32_t bottom =
                        mixGrey(uint32_t(lower.grey[tx.first]), uint32_t(lower.grey[tx.second]), tx.weight);
                    const uint32_t vk = mixGrey(top, bottom, ty.weight);
                    line[x] = difference(tone.grey(uchar(vk)), int(vk), row1.grey[x], skyOffset(0, x));
                    continue;
                }
                const QRgb top = mixColour(upper.colour(tx.first), upper.colour(tx.second), tx.weight);
                const QRgb bottom = mixColour(lower.colour(tx.first), lower.colour(tx.second), tx.weight);
                const QRgb vk = mixColour(top, bottom, ty.weight);
                const QRgb matched = tone.colour(vk);
                const QRgb v1 = row1.colour(x);
                rgb[x] = qRgb(difference(matched >> 16, qRed(vk), qRed(v1), skyOffset(0, x)),
                              difference(matched >> 8, qGreen(vk), qGreen(v1), skyOffset(1, x)),
                              difference(matched, qBlue(vk), qBlue(v1), skyOffset(2, x)));
            }
        }
    });
    return out;
}

SkyGradients::SkyGradients(std::array<BackgroundMap, 3> one, std::array<BackgroundMap, 3> k,
                           const PixelMapping& mapping, bool grey, const SimilarityTransform& kToMap)
    : m_one(std::move(one)), m_k(std::move(k)), m_mapping(mapping), m_grey(grey), m_kToMap(kToMap) {
    auto median = [](const BackgroundMap& map) {
        return map.inverted() ? 255.0 - map.medianLevel() : map.medianLevel();
    };
    for (size_t ch = 0; ch < 3; ++ch) {
        m_medianOne[ch] = median(m_one[ch]);
        m_medianK[ch] = median(m_k[ch]);
    }
}

double SkyGradients::skyOne(int ch, QPointF p1) const {
    return m_one[size_t(index(ch))].skyLevel(p1.x(), p1.y());
}

double SkyGradients::skyK(int ch, QPointF pk) const {
    const QPointF at = m_kToMap.map(pk);
    return m_k[size_t(index(ch))].skyLevel(at.x(), at.y());
}

void SkyGradients::setResidualLines(const std::array<ToneLine, 3>& lines) {
    m_residual = lines;
}

ToneLine SkyGradients::line(int ch) const {
    const ToneLine& r = m_residual[size_t(ch)];
    return {r.a, medianOne(ch) - r.a * medianK(ch) + r.b};
}

double SkyGradients::offset(int ch, QPointF pk) const {
    const QPointF p1((pk.x() - m_mapping.dx) / m_mapping.scale, (pk.y() - m_mapping.dy) / m_mapping.scale);
    return skyOne(ch, p1) - medianOne(ch) - m_residual[size_t(ch)].a * (skyK(ch, pk) - medianK(ch));
}

void SkyGradients::offsetRow(int ch, QPointF start, QPointF step, int n, float* out) const {
    // The skies bend only at their cells' centres, 64 pixels apart: exact every 8 pixels is plenty.
    constexpr int Exact = 8;
    for (int i0 = 0; i0 < n; i0 += Exact) {
        const int i1 = std::min(n - 1, i0 + Exact);
        const double a = offset(ch, start + i0 * step), b = offset(ch, start + i1 * step);
        const int end = i1 == n - 1 ? n : i1; // the last stretch takes its end as well
        for (int i = i0; i < end; ++i)
            out[i] = float(a + (b - a) * (i - i0) / std::max(1, i1 - i0));
    }
}

double SkyGradients::largestOffset(QSize sizeOne, QSize sizeK) const {
    constexpr int Grid = 24;
    double largest = 0;
    for (int j = 0; j <= Grid; ++j)
        for (int i = 0; i <= Grid; ++i) {
            const QPointF pk(sizeK.width() * (i + 0.5) / (Grid + 1), sizeK.height() * (j + 0.5) / (Grid + 1));
            const QPointF p1((pk.x() - m_mapping.dx) / m_mapping.scale, (pk.y() - m_mapping.dy) / m_mapping.scale);
            if (!QRectF(QPointF(0, 0), QSizeF(sizeOne)).contains(p1)) continue;
            for (int ch = 0; ch < (m_grey ? 1 : 3); ++ch)
                largest = std::max(largest, std::abs(offset(ch, pk)));
        }
    return largest;
}

QImage matchedPicture(const QImage& pictureKIn, const BrightnessFit& fit) {
    if (!fit.sky || pictureKIn.isNull()) return {};
    const QImage pictureK = rowReadable(pictureKIn);
    const bool grey = isGreyPicture(pictureK);
    const int w = pictureK.width(), h = pictureK.height();
    QImage out(pictureK.size(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (out.isNull()) return {};
    uchar* const outBits = out.bits(); // taken here: the bands must not call QImage members
    const qsizetype outStride = out.bytesPerLine();
    const SkyGradients& sky = *fit.sky;
    inBands(h, double(w) * h * (grey ? 1 : 3), [&](int y0, int y1) {
        std::vector<float> offsets(size_t(w) * (grey ? 1 : 3));
        for (int y = y0; y < y1; ++y) {
            const PictureRow row = pictureRow(pictureK, y);
            for (int ch = 0; ch < (grey ? 1 : 3); ++ch)
                sky.offsetRow(ch, QPointF(0.5, y + 0.5), QPointF(1, 0), w, offsets.data() + size_t(ch) * w);
            auto level = [&](int ch, int v, int x) {
                if (v == 0) return 0;
                const ToneLine& l = fit.rgb[size_t(ch)];
                return std::clamp(int(std::lround(l.a * v + l.b + offsets[size_t(ch) * w + x])), 0, 255);
            };
            uchar* line = outBits + y * outStride;
            if (grey) {
                for (int x = 0; x < w; ++x)
                    line[x] = uchar(level(0, row.grey[x], x));
                continue;
            }
            auto* rgb = reinterpret_cast<QRgb*>(line);
            for (int x = 0; x < w; ++x) {
                const QRgb c = row.rgb[x];
                rgb[x] = qRgb(level(0, qRed(c), x), level(1, qGreen(c), x), level(2, qBlue(c), x));
            }
        }
    });
    return out;
}

std::array<int, 3> sharedCeiling(const QVector<BrightnessFit>& fits) {
    std::array<int, 3> ceiling{255, 255, 255};
    for (const BrightnessFit& fit : fits) {
        const ToneMap tone(fit.rgb);
        for (int ch = 0; ch < 3; ++ch)
            ceiling[size_t(ch)] = std::min(ceiling[size_t(ch)], tone.level(ch, 255));
    }
    return ceiling;
}

void SlotMatch::update(const QImage& picture1, const QImage& pictureK, const PixelMapping& mapping,
                       const Footprint& footprint) {
    const double extent = std::max(picture1.width(), picture1.height());
    if (m_fitted && m_key1 == picture1.cacheKey() && m_keyK == pictureK.cacheKey() &&
        sameRegistration(m_mapping, mapping, extent))
        return;
    m_fit = fitBrightness(picture1, pictureK, mapping, footprint);
    m_fitted = true;
    ++m_fitNumber;
    m_key1 = picture1.cacheKey();
    m_keyK = pictureK.cacheKey();
    m_mapping = mapping;
    m_footprint = footprint;
    m_difference.picture = QImage();
    m_matched.picture = QImage();
}

void SlotMatch::clear() {
    const quint64 number = m_fitNumber + 1; // a picture still being made is not taken
    const bool differencePending = m_difference.pending, matchedPending = m_matched.pending;
    *this = SlotMatch();
    m_fitNumber = number;
    m_difference.pending = differencePending;
    m_matched.pending = matchedPending;
}

void SlotMatch::take(Made& made, const QImage& picture, quint64 forFit) {
    made.pending = false;
    if (m_fitted && forFit == m_fitNumber) made.picture = picture;
}

QString fitText(const BrightnessFit& fit) {
    auto values = [&fit](double ToneLine::*member, const QString& pattern) {
        QStringList texts;
        for (const ToneLine& line : fit.rgb)
            texts << PatternForm(line.*member, pattern);
        const bool alike = texts.count(texts.front()) == texts.size();
        return alike ? texts.front() : texts.join(QLatin1Char('/'));
    };
    return QStringLiteral("a %1 b %2")
        .arg(values(&ToneLine::a, QStringLiteral("0.000")), values(&ToneLine::b, QStringLiteral("0.0")));
}

} // namespace vorlan
