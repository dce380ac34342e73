#include "deep/residualseries.h"

#include "common/jobrunner.h"
#include "series/framepool.h"
#include "series/seriesstack.h"
#include "stars/movingsearch.h"
#include "stars/stardetect.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vorlan {

namespace {

/// Median and 1.4826 x median absolute deviation of the finite values of v taken every step-th.
std::pair<float, float> robustLevel(const float* v, size_t n, size_t step) {
    std::vector<float> s;
    s.reserve(n / step + 1);
    for (size_t i = 0; i < n; i += step)
        if (std::isfinite(v[i])) s.push_back(v[i]);
    if (s.size() < 16) return {0.f, 0.f};
    auto mid = s.begin() + ptrdiff_t(s.size() / 2);
    std::nth_element(s.begin(), mid, s.end());
    const float median = *mid;
    for (float& x : s)
        x = std::abs(x - median);
    std::nth_element(s.begin(), mid, s.end());
    return {median, 1.4826f * *mid};
}

/// Grows the set pixels of mask (w x h) by r pixels in every direction (a square).
void dilate(std::vector<uint8_t>& mask, int w, int h, int r) {
    if (r <= 0) return;
    std::vector<uint8_t> tmp(mask.size());
    auto pass = [r](const uint8_t* in, uint8_t* out, int n, ptrdiff_t stride) {
        int last = -r - 1; // the last set pixel seen
        for (int i = 0; i < n + r; ++i) {
            if (i < n && in[i * stride]) last = i;
            const int o = i - r;
            if (o >= 0) out[o * stride] = last >= o - r ? 1 : 0; // last <= i = o + r
        }
    };
    for (int y = 0; y < h; ++y)
        pass(mask.data() + size_t(y) * w, tmp.data() + size_t(y) * w, w, 1);
    for (int x = 0; x < w; ++x)
        pass(tmp.data() + x, mask.data() + x, h, w);
}

/// Sets to NaN the pixels of frame far sharper than any star: a value well above the sky whose
/// four neighbours all stay below a fraction of it (hot pixels, single-pixel cosmic ray hits).
void clearSpikes(LinearFrame& f) {
    const size_t n = f.pixels.size();
    const auto [sky, spread] = robustLevel(f.pixels.data(), n, 13);
    if (!(spread > 0)) return;
    const float least = 8 * spread;
    std::vector<QPoint> spikes;
    for (int y = 1; y + 1 < f.height; ++y) {
        const float* r = f.row(y);
        for (int x = 1; x + 1 < f.width; ++x) {
            const float v = r[x] - sky;
            if (!(v > least)) continue;
            const float around = std::max({r[x - 1], r[x + 1], f.row(y - 1)[x], f.row(y + 1)[x]}) - sky;
            if (around < 0.3f * v) spikes.push_back({x, y});
        }
    }
    for (const QPoint& p : spikes)
        f.row(p.y())[p.x()] = NAN;
}

/// A Gaussian of sigma (pixels) sampled at whole pixels, scaled so that its squares add up to one:
/// filtering unit noise with it in x and then y leaves unit noise.
std::vector<float> unitKernel(double sigma) {
    const int r = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> k(size_t(2 * r + 1));
    double squares = 0;
    for (int i = -r; i <= r; ++i) {
        k[size_t(i + r)] = float(std::exp(-i * i / (2 * sigma * sigma)));
        squares += double(k[size_t(i + r)]) * k[size_t(i + r)];
    }
    for (float& v : k)
        v = float(v / std::sqrt(squares));
    return k;
}

/// The frame's residual (noise sigmas, NaN masked) binned 2 x 2 and filtered with the star's
/// profile at that scale, clipped.
std::vector<float> halfFiltered(const std::vector<float>& r, int w, int h, int hw, int hh, double psfSigma) {
    std::vector<float> binned(size_t(hw) * hh, 0.f);
    for (int y = 0; y < hh; ++y)
        for (int x = 0; x < hw; ++x) {
            float s = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int fx = 2 * x + dx, fy = 2 * y + dy;
                    const float v = fx < w && fy < h ? r[size_t(fy) * w + fx] : NAN;
                    if (std::isfinite(v)) s += v;
                }
            binned[size_t(y) * hw + x] = s / 2; // four unit noises add up to two
        }
    // The star at half scale, widened by the binning's square pixel.
    const std::vector<float> k = unitKernel(std::sqrt(psfSigma * psfSigma / 4 + 1.0 / 12));
    const int kr = int(k.size() / 2);
    std::vector<float> across(binned.size(), 0.f), out(binned.size(), 0.f);
    for (int y = 0; y < hh; ++y) {
        const float* in = binned.data() + size_t(y) * hw;
        float* o = across.data() + size_t(y) * hw;
        for (int x = 0; x < hw; ++x) {
            float s = 0;
            for (int i = std::max(-kr, -x); i <= std::min(kr, hw - 1 - x); ++i)
                s += k[size_t(i + kr)] * in[x + i];
            o[x] = s;
        }
    }
    for (int y = 0; y < hh; ++y) {
        float* o = out.data() + size_t(y) * hw;
        for (int i = std::max(-kr, -y); i <= std::min(kr, hh - 1 - y); ++i) {
            const float* in = across.data() + size_t(y + i) * hw;
            const float ki = k[size_t(i + kr)];
            for (int x = 0; x < hw; ++x)
                o[x] += ki * in[x];
        }
    }
    // Resampling made neighbouring pixels' noise alike, so the filter keeps more of it than of
    // independent noise: measured, not assumed.
    const float spread = robustLevel(out.data(), out.size(), 3).second;
    const float unit = spread > 0 ? 1 / spread : 0;
    for (float& v : out)
        v = std::clamp(v * unit, -ResidualSeries::HalfClip, ResidualSeries::HalfClip);
    return out;
}

/// The noise of the star's profile fitted at pixel centres of the residual r (noise sigmas a pixel,
/// NaN masked), as ProfileFit-like sums see it: resampled frames carry noise alike in neighbouring
/// pixels, which adds up in such a sum more than independent noise would.
float profileNoise(const std::vector<float>& r, int w, int h, double sigma) {
    const int kr = std::max(1, int(std::ceil(2.5 * sigma)));
    std::vector<float> k;
    double squares = 0;
    for (int dy = -kr; dy <= kr; ++dy)
        for (int dx = -kr; dx <= kr; ++dx) {
            k.push_back(float(std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma))));
            squares += double(k.back()) * k.back();
        }
    std::vector<float> sums;
    for (int y = kr; y + kr < h; y += 5)
        for (int x = kr; x + kr < w; x += 5) {
            double sum = 0;
            bool whole = true;
            for (int dy = -kr, j = 0; dy <= kr && whole; ++dy)
                for (int dx = -kr; dx <= kr; ++dx, ++j) {
                    const float v = r[size_t(y + dy) * w + x + dx];
                    whole = whole && std::isfinite(v);
                    sum += k[size_t(j)] * v;
                }
            if (whole) sums.push_back(float(sum / std::sqrt(squares)));
        }
    const float spread = robustLevel(sums.data(), sums.size(), 1).second;
    return spread > 0 ? spread : 1;
}

/// What stands still on the stack, to be masked in every frame: where no frame reaches, the
/// edges, the stars and galaxies (the brighter, the wider their bleed and wings).
std::vector<uint8_t> staticMask(const LinearFrame& sky, double frameNoise, double fwhm, double starSigmas) {
    const int w = sky.width, h = sky.height;
    const size_t n = sky.pixels.size();
    const float level = robustLevel(sky.pixels.data(), n, 7).first;
    std::vector<uint8_t> off(n), star(n), bright(n);
    const double faint = starSigmas * frameNoise, strong = 100 * faint;
    for (size_t i = 0; i < n; ++i) {
        const float v = sky.pixels[i] - level;
        off[i] = !std::isfinite(v);
        star[i] = v > faint;
        bright[i] = v > strong;
    }
    // The frame's border is off the picture too.
    for (int x = 0; x < w; ++x)
        off[size_t(x)] = off[size_t(h - 1) * w + x] = 1;
    for (int y = 0; y < h; ++y)
        off[size_t(y) * w] = off[size_t(y) * w + w - 1] = 1;
    dilate(off, w, h, int(std::ceil(fwhm)) + 2);
    dilate(star, w, h, int(std::ceil(fwhm / 2)));
    dilate(bright, w, h, int(std::ceil(3 * fwhm)));
    for (size_t i = 0; i < n; ++i)
        off[i] |= star[i] | bright[i];
    return off;
}

/// The stars' width (FWHM, pixels) on the linear stack: for the bright unsaturated stars the
/// stretch finds, the area above half their peak taken as a disc; the median of them.
double linearFwhm(const LinearFrame& sky) {
    const QImage shown = stretchedFrame(sky);
    const StarList list = detectStars(shown);
    const auto [level, noise] = robustLevel(sky.pixels.data(), sky.pixels.size(), 7);
    float top = 0;
    for (float v : sky.pixels)
        if (std::isfinite(v)) top = std::max(top, v);
    std::vector<double> widths;
    for (const Star& star : list.stars) {
        if (!star.usable() || widths.size() >= 50) continue;
        const int cx = int(star.x), cy = int(star.y), r = 7;
        if (cx < r || cy < r || cx + r >= sky.width || cy + r >= sky.height) continue;
        float peak = -INFINITY;
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x)
                peak = std::max(peak, sky.row(y)[x]);
        if (!(peak - level > 20 * noise) || peak > level + 0.8f * (top - level)) continue;
        int area = 0;
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x)
                area += sky.row(y)[x] - level >= (peak - level) / 2;
        widths.push_back(2 * std::sqrt(area / M_PI));
    }
    if (widths.size() < 3) return pictureFwhm(list, shown);
    std::nth_element(widths.begin(), widths.begin() + ptrdiff_t(widths.size() / 2), widths.end());
    return widths[widths.size() / 2];
}

} // namespace

void setResidualFrame(ResidualSeries& out, int k, const std::vector<float>& r) {
    out.half[size_t(k)] = halfFiltered(r, out.width, out.height, out.halfWidth, out.halfHeight, out.psfSigma());
    const float fitted = 1 / profileNoise(r, out.width, out.height, out.psfSigma());
    std::vector<qint16>& stored = out.full[size_t(k)];
    stored.resize(r.size());
    for (size_t i = 0; i < r.size(); ++i) {
        const float v = r[i] * fitted;
        stored[i] = std::isfinite(v) ? qint16(std::lround(std::clamp(v, -32.f, 32.f) * ResidualSeries::Scale))
                                     : ResidualSeries::Masked;
    }
}

Failure searchStopped() {
    return {InvalidValue, QStringLiteral("Поиск прерван.")};
}

Outcome<ResidualSeries> residualSeries(const SeriesRegistration& series, const ResidualOptions& options,
                                       JobControl* control) {
    ResidualSeries out;
    out.frames = stackGroups(series, 1).value(0);
    if (out.frames.size() < 5)
        return Failure{InvalidValue,
                       QStringLiteral("Для поиска по движениям нужно не меньше 5 совмещённых кадров, а их %1.")
                           .arg(out.frames.size())};
    for (int i : out.frames)
        if (!series.frames[i].midTime)
            return Failure{InvalidValue, QStringLiteral("Искать по движениям нельзя: у кадра %1 нет времени съёмки.")
                                             .arg(series.frames[i].path)};
    for (int i : out.frames)
        out.midHours += double(series.frames[i].midTime->toMSecsSinceEpoch()) / 3.6e6 / out.frames.size();
    for (int i : out.frames)
        out.hours.push_back(double(series.frames[i].midTime->toMSecsSinceEpoch()) / 3.6e6 - out.midHours);

    StackOptions whole;
    whole.groups = 1;
    whole.series = options.series;
    Outcome<SeriesStacks> stacked = stackSeries(series, whole, control);
    if (!stacked.ok()) return stacked.failure();
    if (stacked.value().stopped) return searchStopped();
    const LinearFrame& sky = stacked.value().stacks[0].picture;
    out.width = sky.width;
    out.height = sky.height;
    out.halfWidth = (out.width + 1) / 2;
    out.halfHeight = (out.height + 1) / 2;
    out.fwhm = options.fwhm;
    if (!(out.fwhm > 0)) out.fwhm = linearFwhm(sky);
    const int count = int(out.frames.size());
    out.noise.assign(size_t(count), 0.f);
    out.full.resize(size_t(count));
    out.half.resize(size_t(count));

    // The stack's own noise tells a frame's: the clipped mean of n frames lowers it by root n.
    const double frameNoise = robustLevel(sky.pixels.data(), sky.pixels.size(), 7).second * std::sqrt(double(count));
    const std::vector<uint8_t> mask = staticMask(sky, frameNoise, out.fwhm, options.starSigmas);
    const size_t n = sky.pixels.size();
    const QSize size(out.width, out.height);

    std::mutex failing;
    std::optional<Failure> failed;
    FramePool pool(count, options.series.workersFor(qint64(n), 3 * int(sizeof(float))), control);
    bool done = false;
    try {
        done = pool.run([&](int k) {
        const SeriesFrame& frame = series.frames[out.frames[k]];
        Outcome<LinearFrame> read = readLinearFrame(frame.path, options.series.budget());
        if (!read.ok()) {
            std::lock_guard lock(failing);
            failed = Failure{BadFile, QStringLiteral("Кадр %1 больше не читается: %2.").arg(frame.path, read.reason())};
            throw std::runtime_error("frame unreadable");
        }
        LinearFrame own = std::move(read).value();
        clearSpikes(own);
        LinearFrame r = resampledFrame(own, *frame.toReference, size);
        own = LinearFrame();
        for (size_t i = 0; i < n; ++i)
            r.pixels[i] = mask[i] ? NAN : r.pixels[i] - sky.pixels[i];
        const auto [level, noise] = robustLevel(r.pixels.data(), n, 5);
        const float unit = noise > 0 ? 1 / noise : 0;
        for (float& v : r.pixels)
            v = (v - level) * unit;
        setResidualFrame(out, k, r.pixels);
        out.noise[size_t(k)] = noise;
        pool.itemDone(QStringLiteral("Вычитание неподвижного неба: кадр"));
    });
    } catch (...) {
        if (!failed) throw;
    }
    if (failed) return *failed;
    if (!done) return searchStopped();
    return out;
}

} // namespace vorlan
