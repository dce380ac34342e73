// A series as an observer takes it: registered once, stacked into three pictures in which the
// moving-object search finds what no single frame shows, stacked along a motion into a point,
// with the frames that cannot take part listed and left out, and one frame's defects clipped.

#include "common/jobrunner.h"
#include "series/framewarp.h"
#include "series/seriesregistration.h"
#include "series/seriesstack.h"
#include "stars/movingsearch.h"
#include "support/seriesframes.h"

#include <QLineF>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Median and robust noise (1.4826 MAD) of the finite values of a stack.
std::pair<double, double> levelAndNoise(const LinearFrame& f) {
    std::vector<float> v;
    for (float x : f.pixels)
        if (std::isfinite(x)) v.push_back(x);
    auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    const float median = *mid;
    for (float& x : v)
        x = std::abs(x - median);
    std::nth_element(v.begin(), mid, v.end());
    return {median, 1.4826 * *mid};
}

/// The highest value within 1.5 pixels of at, over the stack's noise.
double peakSnr(const LinearFrame& f, QPointF at) {
    const auto [level, noise] = levelAndNoise(f);
    float best = -1e30f;
    for (int y = int(at.y() - 2); y <= int(at.y() + 1); ++y)
        for (int x = int(at.x() - 2); x <= int(at.x() + 1); ++x)
            if (QLineF(at, QPointF(x + 0.5, y + 0.5)).length() <= 1.5) best = std::max(best, f.row(y)[x]);
    return (best - level) / noise;
}

double hoursOf(const std::optional<QDateTime>& t) {
    return double(t->toMSecsSinceEpoch()) / 3.6e6;
}

/// The frame (in frames from the first) at which the stack's mid-time falls.
double frameAt(const SeriesScene& s, const SeriesStack& stack) {
    return (hoursOf(stack.midTime) - hoursOf(s.start.addSecs(qint64(s.exposureSeconds / 2)))) * 3600 /
           s.cadenceSeconds;
}

/// Catmull-Rom (or linear) interpolation of f at index coordinates (u, v), in doubles, straight
/// from its definition: what the resampling must give wherever the frame covers the point.
double interpolated(const LinearFrame& f, double u, double v, bool cubic) {
    auto kernel = [cubic](double d) {
        d = std::abs(d);
        if (!cubic) return std::max(0.0, 1 - d);
        return d < 1 ? 1.5 * d * d * d - 2.5 * d * d + 1 : d < 2 ? -0.5 * d * d * d + 2.5 * d * d - 4 * d + 2 : 0;
    };
    double sum = 0;
    for (int j = int(std::floor(v)) - 1; j <= int(std::floor(v)) + 2; ++j)
        for (int i = int(std::floor(u)) - 1; i <= int(std::floor(u)) + 2; ++i)
            if (const double k = kernel(u - i) * kernel(v - j); k != 0) sum += k * f.row(j)[i];
    return sum;
}

SeriesOptions twoWorkers() {
    SeriesOptions o;
    o.workers = 2;
    return o;
}

} // namespace

class TestSeries : public QObject {
    Q_OBJECT
  private slots:
    void stacksShowAFaintMoverAndStackingAlongItMakesAPoint();
    void framesThatCannotTakePartAreListedAndLeftOut();
    void oneFramesTrailAndHotPixelAreClipped_data();
    void oneFramesTrailAndHotPixelAreClipped();
    void runsOnTheJobRunnerWithProgressAndStop();
    void aFrameWithoutStarsRegistersByItsHeaderWcs();
    void blankPatchesOfFramesLeaveNoHoleInTheStack();
    void aLargeFrameIsRegisteredOnItsBinnedPixels();
    void framesReadInBandsAsWritten_data();
    void framesReadInBandsAsWritten();
    void resamplingFollowsTheInterpolationsDefinition_data();
    void resamplingFollowsTheInterpolationsDefinition();
};

void TestSeries::stacksShowAFaintMoverAndStackingAlongItMakesAPoint() {
    SeriesScene s;
    s.movers = {{QPointF(300, 250), QPointF(0.4, 0.1)}, {QPointF(200, 500), QPointF(2, -0.5)}};
    QTemporaryDir dir;
    const WrittenSeries written = writeSeries(s, dir.path());
    const SeriesRegistration series = registerSeries(written.paths, twoWorkers());
    QCOMPARE(series.reference, 0);
    for (int f = 0; f < s.frames; ++f) {
        QVERIFY2(series.frames[f].stackable(), qPrintable(series.frames[f].reason));
        const QPointF corner(s.width - 10, s.height - 10);
        QVERIFY(QLineF(series.frames[f].toReference->map(corner), written.toFirst[f].map(corner)).length() < 0.3);
    }

    const Outcome<SeriesStacks> stacked = stackSeries(series);
    QVERIFY2(stacked.ok(), qPrintable(stacked.reason()));
    const QVector<SeriesStack>& stacks = stacked.value().stacks;
    QCOMPARE(stacks.size(), 3);
    QCOMPARE(stackCaption(1, stacks[0]), QStringLiteral("стопка 1: 10 кадров, 21:00:25–21:09:25"));
    QCOMPARE(stackCaption(3, stacks[2]), QStringLiteral("стопка 3: 10 кадров, 21:20:25–21:29:25"));
    // Ten frames lower the noise about threefold.
    QVERIFY(levelAndNoise(stacks[1].picture).second < s.sigma / 2.6);

    QVector<SearchPicture> pictures;
    for (const SeriesStack& stack : stacks) {
        const QImage shown = stretchedFrame(stack.picture);
        pictures.push_back({detectForMovingSearch(shown), SimilarityTransform(), shown, hoursOf(stack.midTime)});
    }
    // The search asks for two star widths between pictures; ten frames carry it 4 pixels, 1.4
    // widths of the stacks' stars.
    MovingSearchOptions nearer;
    nearer.minStepFwhm = 1.2;
    const MovingSearchResult found = findMovingObjects(pictures, nearer);
    const auto slow = std::find_if(found.movers.begin(), found.movers.end(), [&](const MovingCandidate& c) {
        return QLineF(c.at[0], moverAt(s, 0, frameAt(s, stacks[0]))).length() < 3;
    });
    QVERIFY2(slow != found.movers.end(), qPrintable(QString::number(found.movers.size())));
    for (int k = 0; k < 3; ++k)
        QVERIFY2(QLineF(slow->at[k], moverAt(s, 0, frameAt(s, stacks[k]))).length() <= 0.5,
                 qPrintable(QStringLiteral("stack %1").arg(k + 1)));

    // Along each mover's motion the whole series gives a point where the mover was at mid-time.
    const double wanted = 0.8 * std::sqrt(30.0) * 3.5;
    for (int m = 0; m < 2; ++m) {
        StackOptions along;
        along.groups = 1;
        const QPointF perHour = s.movers[m].step * (3600.0 / s.cadenceSeconds);
        along.motion = SeriesMotion{QLineF(QPointF(), perHour).length(),
                                    std::atan2(perHour.x(), -perHour.y()) * 180 / M_PI};
        const Outcome<SeriesStacks> point = stackSeries(series, along);
        QVERIFY2(point.ok(), qPrintable(point.reason()));
        const SeriesStack& all = point.value().stacks[0];
        QCOMPARE(all.frames, 30);
        const QPointF at = moverAt(s, m, frameAt(s, all));
        QVERIFY2(peakSnr(all.picture, at) >= wanted, qPrintable(QString::number(peakSnr(all.picture, at))));
        // A plain stack of the same frames shows the fast one as a faint trail only.
        if (m == 1) QVERIFY(peakSnr(stacks[1].picture, moverAt(s, m, frameAt(s, stacks[1]))) < wanted / 2);
    }
}

void TestSeries::framesThatCannotTakePartAreListedAndLeftOut() {
    SeriesScene s = smallerScene(500, 400, 10, 150);
    QTemporaryDir dir;
    WrittenSeries written = writeSeries(s, dir.path());
    // Frame 1 holds noise only, frame 4 shows another field, frame 7 is cut short.
    SeriesScene noise = s, other = s;
    noise.stars = 0;
    other.seed = 99;
    QDir().mkpath(dir.path() + "/n");
    QDir().mkpath(dir.path() + "/o");
    QFile::remove(written.paths[0]);
    QVERIFY(QFile::copy(writeSeries(noise, dir.path() + "/n").paths[0], written.paths[0]));
    QFile::remove(written.paths[4]);
    QVERIFY(QFile::copy(writeSeries(other, dir.path() + "/o").paths[4], written.paths[4]));
    QFile cut(written.paths[7]);
    QVERIFY(cut.resize(cut.size() / 2));

    const SeriesRegistration series = registerSeries(written.paths, twoWorkers());
    QCOMPARE(series.reference, 1);
    const QStringList reasons = {QStringLiteral("слишком мало звёзд"), QStringLiteral("другой участок неба"),
                                 QStringLiteral("повреждён")};
    const int bad[3] = {0, 4, 7};
    for (int i = 0; i < 3; ++i) {
        const SeriesFrame& f = series.frames[bad[i]];
        QVERIFY(f.leftOut && !f.toReference);
        QVERIFY2(seriesFrameState(f).contains(reasons[i]), qPrintable(seriesFrameState(f)));
    }
    QCOMPARE(stackGroups(series, 3), (QVector<QVector<int>>{{1, 2}, {3, 5}, {6, 8, 9}}));
    const Outcome<SeriesStacks> stacked = stackSeries(series);
    QVERIFY2(stacked.ok(), qPrintable(stacked.reason()));
    QCOMPARE(stackCaption(3, stacked.value().stacks[2]), QStringLiteral("стопка 3: 3 кадра, 21:06:25–21:09:25"));
}

void TestSeries::oneFramesTrailAndHotPixelAreClipped_data() {
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("combine");
    // Frames 5..9 make the middle group: 5, 7 and 9 give its robust level, 6 is added later.
    QTest::newRow("later frame, clipped mean") << 6 << int(StackCombine::ClippedMean);
    QTest::newRow("level frame, clipped mean") << 7 << int(StackCombine::ClippedMean);
    QTest::newRow("later frame, median") << 6 << int(StackCombine::Median);
}

void TestSeries::oneFramesTrailAndHotPixelAreClipped() {
    QFETCH(int, frame);
    QFETCH(int, combine);
    SeriesScene s = smallerScene(400, 300, 15, 120);
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/clean");
    const SeriesRegistration clean = registerSeries(writeSeries(s, dir.path() + "/clean").paths);
    s.trailFrame = s.hotFrame = frame;
    const WrittenSeries written = writeSeries(s, dir.path());
    SeriesRegistration defective = clean; // the same registration, the files with the defects
    for (int f = 0; f < s.frames; ++f)
        defective.frames[f].path = written.paths[f];

    StackOptions options;
    options.combine = StackCombine(combine);
    const LinearFrame expected = stackSeries(clean, options).value().stacks[1].picture;
    const LinearFrame cleaned = stackSeries(defective, options).value().stacks[1].picture;
    options.kappa = 1e9; // nothing clipped: the defects show
    const LinearFrame plain = stackSeries(defective, options).value().stacks[1].picture;
    const double noise = levelAndNoise(expected).second;
    double worst = 0, shown = 0;
    const SimilarityTransform t = written.toFirst[frame];
    for (int x = 40; x < s.width - 40; ++x) {
        const QPointF on = t.map(QPointF(x + 0.5, s.height / 3 + x / 4 + 0.5));
        const int i = int(on.y()) * s.width + int(on.x());
        worst = std::max(worst, double(std::abs(cleaned.pixels[i] - expected.pixels[i])));
        shown = std::max(shown, double(plain.pixels[i] - expected.pixels[i]));
    }
    const QPointF hot = t.map(QPointF(s.width / 2 + 0.5, s.height / 2 + 0.5));
    const int h = int(hot.y()) * s.width + int(hot.x());
    QVERIFY2(worst < 4 * noise, qPrintable(QStringLiteral("%1 vs noise %2").arg(worst).arg(noise)));
    QVERIFY(std::abs(cleaned.pixels[h] - expected.pixels[h]) < 4 * noise);
    if (combine == int(StackCombine::ClippedMean)) {
        QVERIFY(shown > 20 * noise);
        QVERIFY(plain.pixels[h] - expected.pixels[h] > 1000);
    }
}

void TestSeries::runsOnTheJobRunnerWithProgressAndStop() {
    SeriesScene s = smallerScene(300, 200, 8, 80);
    QTemporaryDir dir;
    const WrittenSeries written = writeSeries(s, dir.path());
    JobRunner jobs;
    SeriesRegistration series;
    JobProgress last;
    QVERIFY(jobs.start(
        QStringLiteral("серия"), [&](JobControl& c) { series = registerSeries(written.paths, twoWorkers(), &c); },
        [&](const JobProgress& p) { last = p; }));
    QTRY_VERIFY_WITH_TIMEOUT(!jobs.busy(), 60000);
    QCOMPARE(last.text, QStringLiteral("Совмещение серии: 7 из 7"));
    QVERIFY(!series.stopped && stackGroups(series, 3).value(2).size() == 3);

    // A stop while the first group is stacked ends the run without stacks.
    Outcome<SeriesStacks> stacked = Failure{};
    jobs.hold(true);
    QVERIFY(jobs.start(QStringLiteral("стопки"), [&](JobControl& c) { stacked = stackSeries(series, {}, &c); }));
    jobs.requestStop();
    jobs.hold(false);
    QTRY_VERIFY_WITH_TIMEOUT(!jobs.busy(), 60000);
    QVERIFY(stacked.ok() && stacked.value().stopped);
}

void TestSeries::aFrameWithoutStarsRegistersByItsHeaderWcs() {
    SeriesScene s = smallerScene(400, 300, 3, 100);
    s.turnDegrees = 0;
    s.withWcs = true;
    QTemporaryDir dir;
    const WrittenSeries written = writeSeries(s, dir.path());
    // Clouds hide every star of frame 3; its header still says where it points.
    SeriesScene cloud = s;
    cloud.stars = 0;
    QDir().mkpath(dir.path() + "/c");
    const WrittenSeries clouded = writeSeries(cloud, dir.path() + "/c");
    const SeriesRegistration series = registerSeries({written.paths[0], written.paths[1], clouded.paths[2]});
    const SeriesFrame& f = series.frames[2];
    QVERIFY2(f.stackable() && f.bySky, qPrintable(f.reason));
    QVERIFY(QLineF(f.toReference->map(QPointF(100, 250)), clouded.toFirst[2].map(QPointF(100, 250))).length() < 0.05);
    QVERIFY(seriesFrameState(f).startsWith(QStringLiteral("по координатам неба")));
    QVERIFY(series.frames[1].stackable() && !series.frames[1].bySky);
}

void TestSeries::blankPatchesOfFramesLeaveNoHoleInTheStack() {
    SeriesScene s = smallerScene(400, 300, 9, 120);
    QTemporaryDir dir;
    const WrittenSeries written = writeSeries(s, dir.path());
    const SeriesRegistration series = registerSeries(written.paths);
    StackOptions whole;
    whole.groups = 1;
    const LinearFrame expected = stackSeries(series, whole).value().stacks[0].picture;
    // Frame 0 gives the group's level, frame 3 is added after it: each loses a patch to blank
    // pixels (FITS BLANK), over the same place of the sky.
    for (int f : {0, 3}) {
        const LinearFrame frame = readLinearFrame(written.paths[f], 1 << 30).value();
        LinearData d{frame.width, frame.height, 1, {frame.pixels.begin(), frame.pixels.end()}, {}};
        for (int y = 100; y < 160; ++y)
            for (int x = 150; x < 250; ++x)
                d.at(x, y) = NAN;
        FitsLayout layout;
        layout.blankDefined = true;
        QCOMPARE(writeFits(written.paths[f], d, layout), 0);
    }
    const LinearFrame patched = stackSeries(series, whole).value().stacks[0].picture;
    const double noise = levelAndNoise(expected).second;
    double worst = 0;
    for (int y = 115; y < 145; ++y)
        for (int x = 170; x < 230; ++x) {
            QVERIFY2(std::isfinite(patched.row(y)[x]), qPrintable(QStringLiteral("hole at (%1, %2)").arg(x).arg(y)));
            worst = std::max(worst, double(std::abs(patched.row(y)[x] - expected.row(y)[x])));
        }
    // Seven frames where there were nine: the same sky, a little noisier.
    QVERIFY2(worst < 5 * noise, qPrintable(QStringLiteral("%1 vs noise %2").arg(worst).arg(noise)));
    QVERIFY(std::isfinite(patched.row(10)[10]) && std::abs(patched.row(10)[10] - expected.row(10)[10]) < 1e-3);
}

void TestSeries::aLargeFrameIsRegisteredOnItsBinnedPixels() {
    // Over eight million pixels: its stars are found on its pixels averaged two by two.
    SeriesScene s = smallerScene(4200, 2000, 3, 600);
    QTemporaryDir dir;
    const WrittenSeries written = writeSeries(s, dir.path());
    const SeriesRegistration series = registerSeries(written.paths, twoWorkers());
    for (int f = 0; f < s.frames; ++f) {
        QVERIFY2(series.frames[f].stackable() && series.frames[f].stars > 200, qPrintable(series.frames[f].reason));
        QCOMPARE(series.frames[f].size, QSize(s.width, s.height));
        for (const QPointF corner : {QPointF(10, 10), QPointF(s.width - 10, s.height - 10)})
            QVERIFY(QLineF(series.frames[f].toReference->map(corner), written.toFirst[f].map(corner)).length() < 0.2);
    }
}

void TestSeries::framesReadInBandsAsWritten_data() {
    QTest::addColumn<int>("bitpix");
    QTest::addColumn<double>("bzero");
    QTest::addColumn<double>("bscale");
    QTest::addColumn<bool>("blanks");
    QTest::addColumn<bool>("compressed");
    QTest::newRow("unsigned 16-bit") << int(USHORT_IMG) << 0.0 << 1.0 << false << false;
    QTest::newRow("scaled 16-bit with blanks") << int(SHORT_IMG) << 100.0 << 2.0 << true << false;
    QTest::newRow("compressed 16-bit") << int(SHORT_IMG) << 0.0 << 1.0 << false << true;
    QTest::newRow("float with blanks") << int(FLOAT_IMG) << 0.0 << 1.0 << true << false;
    QTest::newRow("16-bit PNG") << 0 << 0.0 << 1.0 << false << false;
}

void TestSeries::framesReadInBandsAsWritten() {
    QFETCH(int, bitpix);
    QFETCH(double, bzero);
    QFETCH(double, bscale);
    QFETCH(bool, blanks);
    QFETCH(bool, compressed);
    // An odd width, so that rows end part-way through a vector of values.
    LinearData d = linearStarField(37, 23, 3, 1200, 40, 30000, 5);
    if (blanks) d.at(4, 2) = d.at(36, 22) = NAN;
    QTemporaryDir dir;
    const QString path = dir.filePath(bitpix ? "frame.fits" : "frame.png");
    if (bitpix)
        QCOMPARE(writeFits(path, d, {bitpix, bzero, bscale, compressed, blanks}), 0);
    else
        QVERIFY(sixteenBitPicture(d).save(path));
    const Outcome<LinearFrame> frame = readLinearFrame(path, 1 << 20);
    QVERIFY2(frame.ok(), qPrintable(frame.reason()));
    const double step = bitpix == FLOAT_IMG ? 1e-3 : bscale; // what the file can hold of a value
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const double want = d.at(x, y), got = frame.value().row(y)[x];
            QVERIFY2(std::isnan(want) ? std::isnan(got) : std::abs(got - want) <= step,
                     qPrintable(QStringLiteral("(%1, %2): %3 for %4").arg(x).arg(y).arg(got).arg(want)));
        }
    // A band from the middle is the same rows.
    Outcome<std::unique_ptr<FrameRows>> rows = FrameRows::open(path, 1 << 20);
    QVERIFY(rows.ok());
    std::vector<float> band(size_t(5) * d.width);
    QVERIFY(rows.value()->read(9, 5, band.data()).ok());
    QVERIFY(std::equal(band.begin(), band.end(), frame.value().row(9),
                       [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }));
    rows = Failure{};
    if (compressed || !bitpix) return;
    // Cut inside its values (within the last FITS block, which the size check lets pass), the file
    // is refused, not read with made-up rows.
    int status = 0;
    fitsfile* f = nullptr;
    LONGLONG head = 0, start = 0, end = 0;
    fits_open_diskfile(&f, QFile::encodeName(path).constData(), READONLY, &status);
    fits_get_hduaddrll(f, &head, &start, &end, &status);
    fits_close_file(f, &status);
    QFile cut(path);
    QVERIFY(cut.resize(start + LONGLONG(d.width) * d.height * (bitpix == FLOAT_IMG ? 4 : 2) - 10));
    const Outcome<LinearFrame> damaged = readLinearFrame(path, 1 << 20);
    QVERIFY2(!damaged.ok() && damaged.reason().contains(QStringLiteral("повреждён")), qPrintable(damaged.reason()));
}

void TestSeries::resamplingFollowsTheInterpolationsDefinition_data() {
    QTest::addColumn<double>("turn");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<bool>("cubic");
    QTest::newRow("shift only, bicubic") << 0.0 << 1.0 << false << true;
    QTest::newRow("turned 10 degrees, bicubic") << 10.0 << 1.0 << false << true;
    QTest::newRow("turned the other way and mirrored, bicubic") << -7.0 << 1.0 << true << true;
    QTest::newRow("scaled, bilinear") << 3.0 << 0.93 << false << false;
}

void TestSeries::resamplingFollowsTheInterpolationsDefinition() {
    QFETCH(double, turn);
    QFETCH(double, scale);
    QFETCH(bool, mirrored);
    QFETCH(bool, cubic);
    LinearFrame src;
    src.width = 203;
    src.height = 151;
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x)
            src.pixels.push_back(float(1000 + 300 * std::sin(x * 0.37) * std::cos(y * 0.23) + (x * 7 + y * 13) % 11));
    const double a = scale * std::cos(turn * M_PI / 180), b = scale * std::sin(turn * M_PI / 180);
    // A mirror turns the frame upside down: moved back down onto the stack.
    const SimilarityTransform toReference{a, b, 6.3, mirrored ? 150.3 : -4.7, mirrored};
    const Warp w = warpOf(toReference, QPointF(1.25, -0.5));
    const int width = 211;
    std::vector<float> row(width);
    int inside = 0, outside = 0;
    for (int y = 0; y < 160; y += 3) {
        warpRow(src, w, cubic, y, width, row.data());
        for (int x = 0; x < width; ++x) {
            const double X = x + 0.5, Y = y + 0.5;
            const double u = w.xx * X + w.xy * Y + w.x0 - 0.5, v = w.yx * X + w.yy * Y + w.y0 - 0.5;
            if (u < 0 || v < 0 || u > src.width - 1 || v > src.height - 1) {
                QVERIFY2(std::isnan(row[x]), qPrintable(QStringLiteral("(%1, %2) is off the frame").arg(x).arg(y)));
                ++outside;
                continue;
            }
            // Near the edges the bicubic neighbourhood is cut: those pixels are read bilinearly.
            const bool whole = u >= 1 && v >= 1 && u < src.width - 2 && v < src.height - 2;
            const double want = interpolated(src, u, v, cubic && whole);
            // The cubic weights are tabulated at 1/256 pixel: a gradient of up to ~120 a pixel.
            QVERIFY2(std::abs(row[x] - want) < (cubic && whole ? 0.5 : 0.01),
                     qPrintable(QStringLiteral("(%1, %2): %3 for %4").arg(x).arg(y).arg(row[x]).arg(want)));
            ++inside;
        }
    }
    QVERIFY(inside > 5000 && outside > 300);
}

QTEST_GUILESS_MAIN(TestSeries)
#include "tst_series.moc"
