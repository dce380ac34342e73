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

/// Frames larger than this many pixels are binned for their stars.
constexpr qint64 BinAbovePixels = 8'000'000;

/// frame's pixels averaged two by two (an odd last row or column dropped).
LinearFrame binnedTwice(const LinearFrame& frame) {
    LinearFrame out;
    out.width = frame.width / 2;
    out.height = frame.height / 2;
    out.pixels.resize(size_t(out.width) * size_t(out.height));
    for (int y = 0; y < out.height; ++y) {
        const float* a = frame.row(2 * y);
        const float* b = frame.row(2 * y + 1);
        float* o = out.row(y);
        for (int x = 0; x < out.width; ++x)
            o[x] = 0.25f * (a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1]);
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

FrameLook lookAt(const QString& path, const SeriesOptions& options) {
    FrameLook look;
    look.frame.path = path;
    const Outcome<QDateTime> midTime = pictureMidExposureUtc(path, options.cameraClockOffsetMinutes);
    if (midTime.ok())
        look.frame.midTime = midTime.value();
    Outcome<LinearFrame> linear = readLinearFrame(path, options.budget());
    if (!linear.ok()) {
        look.frame.reason = QStringLiteral("Файл не читается: %1.").arg(linear.reason());
        look.frame.leftOut = true;
        return look;
    }
    look.read = true;
    look.frame.size = QSize(linear.value().width, linear.value().height);
    look.frame.exposureSeconds = linear.value().exposureSeconds;
    // A large frame is registered on its pixels binned two by two: its stars still fix the
    // transform to hundredths of a pixel, for a quarter of the detector's work.
    const bool bin = qint64(look.frame.size.width()) * look.frame.size.height() > BinAbovePixels;
    const QImage shown = stretchedFrame(bin ? binnedTwice(linear.value()) : linear.value());
    linear = Failure{}; // its values are no longer needed while the stars are found
    look.stars = detectStars(shown);
    if (bin) look.stars = scaledTwice(look.stars);
    look.frame.stars =
        int(std::count_if(look.stars.stars.begin(), look.stars.stars.end(), [](const Star& s) { return s.usable(); }));
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
    const int common = std::min(reference.frame.stars, f.stars);
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
    f.reason = f.stars >= options.minMatched && !match.reason().contains(QStringLiteral("другой участок неба"))
                   ? QStringLiteral("Снимок %1 не совпадает с опорным: другой участок неба? %2").arg(number).arg(match.reason())
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
        FrameLook look = lookAt(paths[next], options);
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
        FrameLook look = lookAt(paths.at(k), options);
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
