#include "series/seriesregistration.h"

#include "common/jobrunner.h"
#include "common/numberforms.h"
#include "report/observationtime.h"
#include "series/framepool.h"
#include "series/linearframe.h"
#include "sky/skywcs.h"
#include "sky/wcsregistration.h"
#include "stars/stardetect.h"
#include "stars/starmatch.h"
#include "view/fitsimage.h"
#include "view/picturebudget.h"

#include <QThread>
#include <algorithm>
#include <cmath>

namespace vorlan {

qint64 SeriesOptions::budget() const {
    return memoryBudget > 0 ? memoryBudget : pictureMemoryBudget();
}

int SeriesOptions::workersFor(qint64 framePixels, int bytesPerPixel) const {
    const int processors = workers > 0 ? workers : std::max(1, QThread::idealThreadCount());
    const qint64 perWorker = std::max<qint64>(1, framePixels * bytesPerPixel);
    return int(std::clamp<qint64>(budget() / perWorker, 1, processors));
}

namespace {

/// Bytes a pixel while a frame is looked at: its linear values, the stretched picture and the
/// detector's working rows.
constexpr int LookBytesPerPixel = 6;
/// Of the usable stars the poorer of two frames shows, at least this share must pair up.
constexpr double MinSharedStars = 0.2;

/// The brightest usable stars a frame is registered by: a few hundred fix the transform to
/// hundredths of a pixel, more only slow the matching down.
constexpr int RegistrationStars = 300;

/// Frames larger than this many pixels are binned for their stars.
constexpr qint64 BinAbovePixels = 8'000'000;

/// The frame's pixels averaged two by two (an odd last row or column dropped), read band by band
/// so that its full-size values are never held.
Outcome<LinearFrame> readBinnedTwice(FrameRows& rows, std::vector<float>&& storage) {
    LinearFrame out;
    out.width = rows.width / 2;
    out.height = rows.height / 2;
    out.exposureSeconds = rows.exposureSeconds;
    out.pixels = std::move(storage);
    out.pixels.resize(size_t(out.width) * size_t(out.height));
    // Pairs of rows a band, few enough to stay in the processor's cache.
    const int pairs = std::max(1, (128 << 10) / int(sizeof(float)) / std::max(1, 2 * rows.width));
    std::vector<float> band(size_t(2 * pairs) * size_t(rows.width));
    for (int y = 0; y < out.height; y += pairs) {
        const int n = std::min(pairs, out.height - y);
        if (Outcome<void> r = rows.read(2 * y, 2 * n, band.data()); !r.ok()) return r.failure();
        for (int k = 0; k < n; ++k) {
            const float* a = band.data() + size_t(2 * k) * rows.width;
            const float* b = a + rows.width;
            float* o = out.row(y + k);
            for (int x = 0; x < out.width; ++x)
                o[x] = 0.25f * ((a[2 * x] + a[2 * x + 1]) + (b[2 * x] + b[2 * x + 1]));
        }
    }
    return out;
}

/// The frame as the star detector reads it: the sky a little above black, its noise several grey
/// levels wide, and the brightest value white, through an arcsinh curve (linear over the sky,
/// logarithmic up the stars) read from a table. A tenth of the display stretch's work, which
/// places every one of its 256 levels exactly for the eye.
QImage detectionPicture(const LinearFrame& frame) {
    QImage out(frame.width, frame.height, QImage::Format_Grayscale8);
    if (out.isNull() || frame.pixels.empty()) return out;
    // The sky's level and noise from a sparse sample (rows and columns at steps that share no
    // pattern with a sensor's), the top from every value.
    std::vector<float> sample;
    for (int y = 0; y < frame.height; y += 8)
        for (int x = y % 7; x < frame.width; x += 7)
            if (std::isfinite(frame.row(y)[x])) sample.push_back(frame.row(y)[x]);
    float top = -INFINITY;
    for (float v : frame.pixels)
        top = std::max(top, v); // NaN compares false and is passed over
    if (sample.empty() || !std::isfinite(top)) {
        out.fill(0);
        return out;
    }
    auto middle = [](std::vector<float>& v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const float sky = middle(sample);
    for (float& v : sample)
        v = std::abs(v - sky);
    const float noise = std::max(1.4826f * middle(sample), std::max(std::abs(sky), 1.0f) * 1e-6f);
    // Black three sigmas below the sky; sixteen table steps a sigma up to the top.
    const float black = sky - 3 * noise;
    const double span = std::max(double(top) - black, double(noise));
    const int steps = int(std::clamp(span / noise * 16, 256.0, double(1 << 20)));
    const float perStep = float(steps / span);
    constexpr double Linear = 4; // sigmas over which the curve stays nearly straight
    const double full = std::asinh(span / noise / Linear);
    std::vector<uchar> table(size_t(steps) + 1);
    for (int k = 0; k <= steps; ++k)
        table[size_t(k)] = uchar(std::lround(255 * std::asinh(k / double(perStep) / noise / Linear) / full));
    for (int y = 0; y < frame.height; ++y) {
        const float* in = frame.row(y);
        uchar* line = out.scanLine(y);
        for (int x = 0; x < frame.width; ++x) {
            const float t = (in[x] - black) * perStep; // NaN and below black go to 0
            line[x] = table[size_t(t > 0 ? std::min(t, float(steps)) : 0.0f)];
        }
    }
    return out;
}

/// A star list of a binned frame in the frame's own pixels.
StarList scaledTwice(StarList list) {
    list.width *= 2;
    list.height *= 2;
    for (Star& s : list.stars) {
        s.x *= 2;
        s.y *= 2;
        s.fwhm *= 2;
    }
    return list;
}

/// A frame read once: what the list shows of it and what registering it needs.
struct FrameLook {
    SeriesFrame frame;
    StarList stars;
    SkyWcs wcs;
    bool read = false;
};

FrameLook lookAt(const QString& path, const SeriesOptions& options, FrameShelf& shelf) {
    FrameLook look;
    look.frame.path = path;
    const Outcome<QDateTime> midTime = pictureMidExposureUtc(path, options.cameraClockOffsetMinutes);
    if (midTime.ok())
        look.frame.midTime = midTime.value();
    Outcome<std::unique_ptr<FrameRows>> opened = FrameRows::open(path, options.budget());
    // A large frame is registered on its pixels binned two by two: its stars still fix the
    // transform to hundredths of a pixel, for a quarter of the detector's work.
    const bool bin = opened.ok() && qint64(opened.value()->width) * opened.value()->height > BinAbovePixels;
    Outcome<LinearFrame> linear = !opened.ok() ? Outcome<LinearFrame>(opened.failure())
                                  : bin        ? readBinnedTwice(*opened.value(), shelf.take())
                                               : readLinearFrame(*opened.value(), shelf.take());
    if (!linear.ok()) {
        look.frame.reason = QStringLiteral("Файл не читается: %1.").arg(linear.reason());
        look.frame.leftOut = true;
        return look;
    }
    look.read = true;
    look.frame.size = bin ? QSize(opened.value()->width, opened.value()->height)
                          : QSize(linear.value().width, linear.value().height);
    look.frame.exposureSeconds = linear.value().exposureSeconds;
    opened = Failure{};
    const QImage shown = detectionPicture(linear.value());
    shelf.putBack(std::move(std::move(linear).value().pixels)); // not needed while the stars are found
    look.stars = detectStars(shown);
    if (bin) look.stars = scaledTwice(look.stars);
    look.frame.stars =
        int(std::count_if(look.stars.stars.begin(), look.stars.stars.end(), [](const Star& s) { return s.usable(); }));
    QVector<Star> brightest;
    for (const Star& s : look.stars.stars)
        if (s.usable() && brightest.size() < RegistrationStars) brightest.push_back(s);
    look.stars.stars = brightest;
    if (isFitsFile(path)) look.wcs = SkyWcs::fromFitsFile(path).valueOr(SkyWcs());
    return look;
}

/// Registers look (frame number `number`, from 1) onto the reference frame.
void registerLook(FrameLook& look, const FrameLook& reference, int number) {
    if (!look.read) return;
    MatchOptions options;
    options.picture = number;
    const Outcome<StarMatch> match = matchStars(reference.stars, look.stars, options);
    SeriesFrame& f = look.frame;
    // Frames of one run share most of their stars; a few chance pairs between two fields can
    // still fit within the matcher's tolerance.
    const int common = int(std::min(reference.stars.stars.size(), look.stars.stars.size()));
    if (match.ok() && match.value().matched < common * MinSharedStars) {
        f.reason = QStringLiteral("Снимок %1 показывает другой участок неба: совпало лишь %2 звёзд из %3.")
                       .arg(number)
                       .arg(match.value().matched)
                       .arg(common);
        f.leftOut = true;
        return;
    }
    if (match.ok()) {
        f.toReference = match.value().transform;
        f.matched = match.value().matched;
        f.residualPixels = match.value().rmsPixels;
        return;
    }
    if (const Outcome<WcsRegistration> sky = RegistrationFromWcs(reference.wcs, look.wcs);
        sky.ok() && sky.value().rmsPixels < 1) {
        f.toReference = sky.value().transform;
        f.residualPixels = sky.value().rmsPixels;
        f.bySky = true;
        return;
    }
    // A frame with stars of its own that do not pair with the reference's shows other sky (or
    // clouds hid most of it); the matcher's words say what it found.
    f.reason =
        f.stars >= options.minMatched && !match.reason().contains(QStringLiteral("другой участок неба"))
            ? QStringLiteral("Снимок %1 не совпадает с опорным: другой участок неба? %2")
                  .arg(number)
                  .arg(match.reason())
            : match.reason();
    f.leftOut = true;
}

/// Frames too poor in stars to be a reference are refused for that.
bool goodReference(const FrameLook& look) {
    return look.read && look.frame.stars >= MatchOptions().minMatched;
}

} // namespace

SeriesRegistration registerSeries(const QStringList& paths, const SeriesOptions& options, JobControl* control) {
    SeriesRegistration result;
    for (const QString& path : paths) {
        SeriesFrame f;
        f.path = path;
        result.frames.push_back(f);
    }
    keepLargeBlocksMapped();
    FrameShelf shelf;
    const QString title = QStringLiteral("Совмещение серии");
    // The reference: the first frame that can be read and shows stars. Those before it are
    // matched to it afterwards, so that the matcher words why they failed.
    FrameLook reference;
    QVector<FrameLook> poor;
    int next = 0;
    for (; next < paths.size() && result.reference < 0; ++next) {
        if (control) control->progress(next, int(paths.size()), title);
        if (control && control->stopRequested()) {
            result.stopped = true;
            return result;
        }
        FrameLook look = lookAt(paths[next], options, shelf);
        if (goodReference(look)) {
            look.frame.toReference = SimilarityTransform();
            result.reference = next;
            reference = look;
        } else {
            poor.push_back(look);
        }
        result.frames[next] = look.frame;
    }
    if (result.reference < 0) return result;
    for (int k = 0; k < poor.size(); ++k) {
        registerLook(poor[k], reference, k + 1);
        result.frames[k] = poor[k].frame;
    }

    const qint64 pixels = qint64(reference.frame.size.width()) * reference.frame.size.height();
    const int first = next;
    FramePool pool(int(paths.size()) - first, options.workersFor(pixels, LookBytesPerPixel), control);
    SeriesFrame* frames = result.frames.data(); // detached once here, not by the workers
    result.stopped = !pool.run([&](int i) {
        const int k = first + i;
        FrameLook look = lookAt(paths.at(k), options, shelf);
        registerLook(look, reference, k + 1);
        frames[k] = look.frame; // each worker writes its own element
        pool.itemDone(title);
    });
    return result;
}

QString seriesFrameState(const SeriesFrame& frame) {
    if (!frame.toReference) return frame.reason;
    if (frame.bySky)
        return QStringLiteral("по координатам неба, невязка %1 пикс.")
            .arg(PatternForm(frame.residualPixels, QStringLiteral("0.00")));
    return QStringLiteral("звёзд совпало %1, невязка %2 пикс.")
        .arg(frame.matched)
        .arg(PatternForm(frame.residualPixels, QStringLiteral("0.00")));
}

} // namespace vorlan
