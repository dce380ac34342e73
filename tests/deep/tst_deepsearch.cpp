// The deep search as an observer runs it on a night's series: movers far too faint for any one
// frame found by their motion, with the run's defects (a hot pixel, a satellite in one frame,
// cosmic rays) never taken for one; and the tree of partial sums, which must lose no more of an
// object's peak than the motion lattice allows.

#include "common/jobrunner.h"
#include "deep/deeprows.h"
#include "deep/deepsearch.h"
#include "deep/shifttree.h"
#include "series/seriesregistration.h"
#include "support/seriesframes.h"

#include <QLineF>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A mover of the scene: its per-frame peak SNR, its speed (pixels a frame) and direction
/// (degrees clockwise from up), and where it is at mid-series as a fraction of the picture.
struct MoverRowData {
    double snr, speed, direction, fx, fy;
};

const MoverRowData Movers[] = {
    {0.6, 0.3, 10, 0.20, 0.25},  {0.6, 2.5, 200, 0.75, 0.70},  {0.7, 0.5, 45, 0.35, 0.30},
    {0.7, 1.2, 130, 0.60, 0.35}, {0.7, 3.0, 250, 0.30, 0.60},  {0.7, 4.0, 300, 0.50, 0.50},
    {0.7, 0.8, 170, 0.80, 0.25}, {0.8, 1.8, 80, 0.25, 0.75},   {1.0, 0.4, 280, 0.45, 0.20},
    {1.0, 2.2, 20, 0.70, 0.55},  {1.0, 3.5, 110, 0.40, 0.40},  {1.0, 1.0, 340, 0.20, 0.45},
    {1.2, 2.8, 155, 0.65, 0.80}, {1.5, 0.6, 235, 0.85, 0.50},  {1.5, 3.8, 60, 0.55, 0.65},
    {2.0, 1.5, 315, 0.30, 0.85}, {2.0, 0.3, 95, 0.15, 0.60},   {3.0, 2.0, 190, 0.50, 0.30},
    {3.0, 3.2, 265, 0.80, 0.70}, {1.0, 1.6, 225, 0.60, 0.20},
};

QPointF stepOf(const MoverRowData& m) {
    const double a = m.direction * M_PI / 180;
    return {m.speed * std::sin(a), -m.speed * std::cos(a)};
}

/// A noiseless object of unit filtered peak moving at motion (pixels per hour) through mid at
/// time 0, in frames already filtered with its profile (sigma pixels).
std::vector<std::vector<float>> movingSpot(int size, const std::vector<double>& hours, QPointF mid, QPointF motion,
                                           double sigma) {
    std::vector<std::vector<float>> frames;
    for (double t : hours) {
        std::vector<float> f(size_t(size) * size, 0.f);
        const QPointF at = mid + motion * t;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const double dx = x + 0.5 - at.x(), dy = y + 0.5 - at.y();
                f[size_t(y) * size + x] = float(std::exp(-(dx * dx + dy * dy) / (4 * sigma * sigma)));
            }
        frames.push_back(std::move(f));
    }
    return frames;
}

/// A star-shaped spot of peak amplitude (noise sigmas) added to a frame of residuals.
void addSpot(std::vector<float>& r, int width, QPointF at, double amplitude, double sigma) {
    for (int y = int(at.y()) - 6; y <= int(at.y()) + 6; ++y)
        for (int x = int(at.x()) - 6; x <= int(at.x()) + 6; ++x) {
            const double dx = x + 0.5 - at.x(), dy = y + 0.5 - at.y();
            r[size_t(y) * width + x] += float(amplitude * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)));
        }
}

float peakNear(const BestMotions& b, QPointF at) {
    float best = 0;
    for (int y = int(at.y()) - 2; y <= int(at.y()) + 2; ++y)
        for (int x = int(at.x()) - 2; x <= int(at.x()) + 2; ++x)
            best = std::max(best, b.snr[size_t(y) * b.width + x]);
    return best;
}

} // namespace

class TestDeepSearch : public QObject {
    Q_OBJECT
  private slots:
    void findsMoversNoFrameShowsAndNoDefect();
    void refusesASeriesItCannotSearch_data();
    void refusesASeriesItCannotSearch();
    void onlyASteadySourceBecomesACandidate_data();
    void onlyASteadySourceBecomesACandidate();
    void latticeCoversTheAskedMotions_data();
    void latticeCoversTheAskedMotions();
    void treeLosesNoMoreThanTheLatticeAllows_data();
    void treeLosesNoMoreThanTheLatticeAllows();
};

void TestDeepSearch::findsMoversNoFrameShowsAndNoDefect() {
    // A crop of a 2000 x 1500 night with its density of stars, 40 frames a minute apart.
    SeriesScene s = smallerScene(720, 540, 40, 190);
    s.psfSigma = 1.4;
    s.turnDegrees = 0.05;
    s.trailFrame = 17;
    s.hotPixels = {QPoint(400, 300)};
    s.cosmicRays = 6;
    const double mid = (s.frames - 1) / 2.0;
    for (const MoverRowData& m : Movers) {
        const QPointF step = stepOf(m);
        s.movers.push_back({QPointF(m.fx * s.width, m.fy * s.height) - step * mid, step, m.snr});
    }
    QTemporaryDir dir;
    SeriesOptions two;
    two.workers = 2;
    const SeriesRegistration series = registerSeries(writeSeries(s, dir.path()).paths, two);
    QCOMPARE(series.reference, 0);

    // Run as the window runs it: on the job runner, with progress.
    JobRunner jobs;
    std::optional<Outcome<DeepSearchResult>> outcome;
    int reports = 0;
    QObject::connect(&jobs, &JobRunner::progressed, [&] { ++reports; });
    DeepSearchOptions options;
    options.residuals.series = two;
    QVERIFY(jobs.start(QStringLiteral("глубокий поиск"),
                       [&](JobControl& c) { outcome = deepSearch(series, options, &c); }));
    QTRY_VERIFY_WITH_TIMEOUT(!jobs.busy(), 240000);
    QVERIFY(outcome && outcome->ok());
    const DeepSearchResult& result = outcome->value();
    QVERIFY(reports > 0);
    QVERIFY(!result.stopped);
    QVERIFY2(std::abs(result.fwhm - 2.3548 * s.psfSigma) < 0.6, qPrintable(QString::number(result.fwhm)));

    const double perHour = 3600.0 / s.cadenceSeconds;
    int found[3] = {0, 0, 0}, total[3] = {0, 0, 0}; // below 0.7, 0.7 to 1, 1 and more
    QVector<bool> matched(result.candidates.size(), false);
    double worstPlace[2] = {0, 0}, worstMotion[2] = {0, 0}; // below 1.5, 1.5 and more
    for (int m = 0; m < s.movers.size(); ++m) {
        const QPointF truth = moverAt(s, m, mid);
        const int tier = Movers[m].snr < 0.7 ? 0 : Movers[m].snr < 1.0 ? 1 : 2;
        ++total[tier];
        for (int c = 0; c < result.candidates.size(); ++c) {
            const DeepCandidate& k = result.candidates[c];
            if (QLineF(k.at, truth).length() > 2) continue;
            matched[c] = true;
            ++found[tier];
            const double placeError = QLineF(k.at, truth).length();
            const double motionError = QLineF(k.motion / perHour, s.movers[m].step).length();
            qInfo("mover %d SNR %.1f: %.2f px, %.3f px/frame, stacked %.1f", m, Movers[m].snr, placeError, motionError, k.snr);
            // The noise alone scatters a fit by about 0.13 px / SNR in place and 0.011 px / SNR a
            // frame in motion (each axis, 40 frames): the tight bounds hold from SNR 1.5 on.
            const int bright = Movers[m].snr >= 1.5 ? 1 : 0;
            worstPlace[bright] = std::max(worstPlace[bright], placeError);
            // Its row in "Движущиеся объекты" says how it was found, how strongly and how it moves.
            const MoverRow row = deepMoverRows(result, {}).at(c);
            QCOMPARE(row.at, k.at);
            QCOMPARE(row.cells[5], QStringLiteral("%1 пикс/ч, глубокий поиск, ОСШ %2")
                                       .arg(k.pixelsPerHour(), 0, 'f', 1)
                                       .arg(k.snr, 0, 'f', 1));
            QVERIFY(std::abs(row.cells[6].chopped(1).toInt() - Movers[m].direction) <= 2);
            worstMotion[bright] = std::max(worstMotion[bright], motionError);
            QVERIFY(k.snr >= options.threshold && k.frameShare < 0.3);
            break;
        }
    }
    qInfo("found %d/%d below 0.7, %d/%d at 0.7-1, %d/%d at 1 and more; %d fitted, %d refused by the frames",
          found[0], total[0], found[1], total[1], found[2], total[2], result.halfCandidates, result.rejected);
    QVERIFY(found[2] >= 0.95 * total[2]);
    QVERIFY(worstPlace[1] <= 0.3 && worstMotion[1] <= 0.02);
    QVERIFY(worstPlace[0] <= 0.6 && worstMotion[0] <= 0.08);
    QVERIFY(found[1] >= 0.75 * total[1]);
    for (int c = 0; c < result.candidates.size(); ++c)
        if (!matched[c])
            qInfo("false: %.1f %.1f SNR %.1f chi2 %.2f share %.2f frames %d v %.1f %.1f", result.candidates[c].at.x(), result.candidates[c].at.y(),
                  result.candidates[c].snr, result.candidates[c].chi2, result.candidates[c].frameShare, result.candidates[c].frames, result.candidates[c].motion.x()/60, result.candidates[c].motion.y()/60);
    QVERIFY2(std::count(matched.begin(), matched.end(), false) <= 1,
             qPrintable(QStringLiteral("%1 false").arg(std::count(matched.begin(), matched.end(), false))));

    // "Прервать" ends it with nothing listed.
    jobs.hold(true);
    QVERIFY(jobs.start(QStringLiteral("глубокий поиск"),
                       [&](JobControl& c) { outcome = deepSearch(series, options, &c); }));
    jobs.requestStop();
    jobs.hold(false);
    QTRY_VERIFY_WITH_TIMEOUT(!jobs.busy(), 60000);
    QVERIFY(outcome->ok() && outcome->value().stopped && outcome->value().candidates.isEmpty());
}

void TestDeepSearch::refusesASeriesItCannotSearch_data() {
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("untimed"); // a frame without its time; -1 for none
    QTest::addColumn<QString>("reason");
    QTest::newRow("four frames") << 4 << -1
                                 << "Для поиска по движениям нужно не меньше 5 совмещённых кадров, а их 4.";
    QTest::newRow("a frame without its time") << 6 << 3 << "Искать по движениям нельзя: у кадра f3.fits нет времени съёмки.";
}

void TestDeepSearch::refusesASeriesItCannotSearch() {
    QFETCH(int, frames);
    QFETCH(int, untimed);
    QFETCH(QString, reason);
    SeriesRegistration series;
    series.reference = 0;
    for (int i = 0; i < frames; ++i) {
        SeriesFrame f;
        f.path = QStringLiteral("f%1.fits").arg(i);
        f.toReference = SimilarityTransform();
        if (i != untimed) f.midTime = QDateTime(QDate(2026, 3, 1), QTime(21, i), Qt::UTC);
        series.frames << f;
    }
    const Outcome<DeepSearchResult> r = deepSearch(series);
    QVERIFY(!r.ok());
    QCOMPARE(r.reason(), reason);
}

void TestDeepSearch::onlyASteadySourceBecomesACandidate_data() {
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("candidates");
    QTest::addColumn<bool>("refusedByFrames"); // it stacks above the threshold, the frames refuse it
    QTest::newRow("a faint steady mover") << "mover" << 1 << false;
    QTest::newRow("a cosmic ray in one frame") << "cosmic" << 0 << false;
    QTest::newRow("a glint in three frames") << "glint" << 0 << true;
    QTest::newRow("a satellite in one frame") << "trail" << 0 << true;
}

void TestDeepSearch::onlyASteadySourceBecomesACandidate() {
    QFETCH(QString, event);
    QFETCH(int, candidates);
    QFETCH(bool, refusedByFrames);
    ResidualSeries r;
    r.width = r.height = 160;
    r.halfWidth = r.halfHeight = 80;
    r.fwhm = 3;
    const int n = 30;
    r.full.resize(n);
    r.half.resize(n);
    QRandomGenerator rng(5);
    const QPointF mid(81.3, 77.6), step(1.5, -0.7); // pixels a frame
    for (int k = 0; k < n; ++k) {
        r.hours.push_back((k - (n - 1) / 2.0) / 60);
        std::vector<float> frame(size_t(r.width) * r.height);
        for (float& v : frame)
            v = float(std::sqrt(-2 * std::log(1 - rng.generateDouble())) * std::cos(2 * M_PI * rng.generateDouble()));
        const QPointF at = mid + step * (k - (n - 1) / 2.0);
        if (event == "mover") addSpot(frame, r.width, at, 1.2, r.psfSigma());
        if (event == "glint" && k >= 10 && k < 13) addSpot(frame, r.width, at, 10, r.psfSigma());
        if (event == "cosmic" && k == 12) frame[70 * 160 + 80] = frame[70 * 160 + 81] = 60;
        if (event == "trail" && k == 8)
            for (int x = 0; x < r.width; ++x)
                addSpot(frame, r.width, QPointF(x, 30 + x * 0.6), 20, 0.8);
        setResidualFrame(r, k, frame);
    }
    const DeepSearchResult found = searchResiduals(r);
    QCOMPARE(found.candidates.size(), candidates);
    QCOMPARE(found.rejected > 0, refusedByFrames);
    if (candidates) {
        QVERIFY(QLineF(found.candidates[0].at, mid).length() < 0.5);
        QVERIFY(QLineF(found.candidates[0].motion / 60, step).length() < 0.05);
        QVERIFY(found.candidates[0].chi2 < 2 && found.candidates[0].frames == n);
    }
}

void TestDeepSearch::latticeCoversTheAskedMotions_data() {
    QTest::addColumn<double>("minSpeed"); // pixels per hour
    QTest::addColumn<double>("maxSpeed");
    QTest::addColumn<double>("from"); // degrees clockwise from up
    QTest::addColumn<double>("to");
    QTest::newRow("every motion") << 0.0 << 100.0 << 0.0 << 360.0;
    QTest::newRow("a band of speeds") << 30.0 << 60.0 << 0.0 << 360.0;
    QTest::newRow("eastwards") << 10.0 << 100.0 << 80.0 << 100.0;
    QTest::newRow("across north") << 10.0 << 100.0 << 350.0 << 10.0;
}

void TestDeepSearch::latticeCoversTheAskedMotions() {
    QFETCH(double, minSpeed);
    QFETCH(double, maxSpeed);
    QFETCH(double, from);
    QFETCH(double, to);
    const double step = 4, reach = step * M_SQRT1_2 + 1e-9;
    const MotionLattice l = motionLattice(step, minSpeed, maxSpeed, from, to);
    // Every asked motion has a trial motion within half a cell's diagonal ...
    const double width = std::fmod(to - from + 360, 360) == 0 ? 360 : std::fmod(to - from + 360, 360);
    QRandomGenerator rng(3);
    for (int i = 0; i < 400; ++i) {
        const double speed = minSpeed + rng.bounded(maxSpeed - minSpeed), a = (from + rng.bounded(width)) * M_PI / 180;
        const QPointF wanted(speed * std::sin(a), -speed * std::cos(a));
        double nearest = 1e9;
        for (int k = 0; k < int(l.points.size()); ++k)
            nearest = std::min(nearest, QLineF(l.motion(k), wanted).length());
        QVERIFY2(nearest <= reach, qPrintable(QStringLiteral("%1 px/h at %2°").arg(speed).arg(a * 180 / M_PI)));
    }
    // ... and none lies out of reach of the asked range, so a narrow range costs little.
    for (int k = 0; k < int(l.points.size()); ++k) {
        const double speed = QLineF(QPointF(), l.motion(k)).length();
        QVERIFY(speed >= minSpeed - reach && speed <= maxSpeed + reach);
    }
    const double all = motionLattice(step, minSpeed, maxSpeed).points.size();
    QVERIFY(l.points.size() <= all * (width / 360) + 4 * maxSpeed / step);
}

void TestDeepSearch::treeLosesNoMoreThanTheLatticeAllows_data() {
    QTest::addColumn<double>("cellX");  // where the motion lies in its lattice cell, steps
    QTest::addColumn<double>("cellY");
    QTest::addColumn<QPoint>("point");  // the lattice point beside it
    QTest::addColumn<bool>("gap");      // the series has a pause in the middle
    QTest::newRow("on a lattice point") << 0.0 << 0.0 << QPoint(9, -4) << false;
    QTest::newRow("midway in x") << 0.5 << 0.0 << QPoint(-12, 3) << false;
    QTest::newRow("at a cell's corner") << 0.5 << 0.5 << QPoint(14, 14) << false;
    QTest::newRow("slow, at a corner") << 0.5 << -0.5 << QPoint(1, 0) << false;
    QTest::newRow("fast, a third off") << 0.33 << -0.33 << QPoint(-17, -11) << false;
    QTest::newRow("a pause in the series") << 0.5 << 0.5 << QPoint(-6, 10) << true;
}

void TestDeepSearch::treeLosesNoMoreThanTheLatticeAllows() {
    QFETCH(double, cellX);
    QFETCH(double, cellY);
    QFETCH(QPoint, point);
    QFETCH(bool, gap);
    const double sigma = 0.78; // a star at half resolution
    std::vector<double> hours;
    for (int i = 0; i < 40; ++i)
        hours.push_back((i + (gap && i >= 20 ? 15 : 0)) / 60.0);
    const double meanHours = std::accumulate(hours.begin(), hours.end(), 0.0) / hours.size();
    for (double& h : hours)
        h -= meanHours;
    const double step = latticeStep(sigma, effectiveSpan(hours), 0.2);
    const MotionLattice lattice = motionLattice(step, 0, 2.2 * 60);
    const QPointF motion = (QPointF(point) + QPointF(cellX, cellY)) * step;
    const QPointF mid(60.3, 61.7);
    const auto pixels = movingSpot(128, hours, mid, motion, sigma);
    ShiftFrames frames{128, 128, {}, hours};
    for (const auto& f : pixels)
        frames.frames.push_back(f.data());

    // Against the same whole-pixel sum at the object's own motion.
    const MotionLattice own{1e-3, {(motion * 1e3).toPoint()}};
    const double exact = peakNear(directShiftAndAdd(frames, own), mid);
    const BestMotions tree = treeShiftAndAdd(frames, lattice);
    const double kept = peakNear(tree, mid) / exact;
    const double keptDirect = peakNear(directShiftAndAdd(frames, lattice), mid) / exact;
    QVERIFY2(kept >= 0.8 && kept >= 0.9 * keptDirect,
             qPrintable(QStringLiteral("tree keeps %1, direct %2").arg(kept).arg(keptDirect)));
    // The best motion lies within a few lattice steps of the true one: the fit at full resolution
    // starts from there.
    const QPoint at(int(mid.x()), int(mid.y()));
    const int k = tree.motion[size_t(at.y()) * 128 + at.x()];
    QVERIFY(k >= 0);
    QVERIFY2(QLineF(lattice.motion(k), motion).length() <= 2.5 * step, qPrintable(QString::number(k)));
}

QTEST_GUILESS_MAIN(TestDeepSearch)
#include "tst_deepsearch.moc"
