// The moving-object search on star lists (one case a row: what moves, how, and what the search must
// list), and the measurement of a spot on the pixels that it relies on.

#include "stars/movingsearch.h"
#include "support/datatable.h"
#include "support/moverfield.h"
#include "support/skyframes.h"

#include <QLineF>
#include <QRandomGenerator>
#include <QtTest>

using namespace vorlan;

namespace {

constexpr int Width = 1000, Height = 800;
constexpr double Fwhm = 2.5;

Star source(QPointF at, double flux, unsigned flags = 0) {
    return {.x = at.x(), .y = at.y(), .flux = flux, .peak = flux / 7, .fwhm = Fwhm, .flags = flags};
}

/// One row of the search table: how the object moves, and what the search must list.
struct SearchCase {
    int pictures = 2;
    QPointF motion;        ///< per step, picture 1's pixels
    QVector<double> steps; ///< the object's steps at each picture; none for 0, 1, 2
    QVector<double> hours; ///< each picture's time; none for unknown
    double fading = 1;     ///< flux factor from one picture to the next
    unsigned flags = 0;    ///< of the object's sources
    double turn = 0;       ///< of each further picture, degrees
    double exposure = 1;   ///< picture k's fluxes over picture 1's
    QPointF start{500, 400};
    // The picture missing the object, a star that far off its place there, a noise detection near its start.
    int hiddenIn = -1;
    double coverFlux = 0;
    QPointF cover, faint;
    int movers = 0, flashes = 0;
    double speed = 0, direction = 0; ///< of the object found
};

/// The pictures of one row: the same 80 stars in each (picture k turned and scaled against
/// picture 1 as given, its fluxes `exposure` times picture 1's), and one object that is at
/// start + motion x steps[k] in picture k (picture 1's pixels), with its flux multiplied by
/// fading in each further picture.
QVector<SearchPicture> scene(const SearchCase& c) {
    QVector<SearchPicture> pictures(c.pictures);
    QRandomGenerator rng(11);
    QVector<Star> sky;
    for (int i = 0; i < 80; ++i)
        sky.push_back(source({20 + rng.bounded(Width - 40.0), 20 + rng.bounded(Height - 40.0)},
                             300 + rng.bounded(5000.0)));
    if (c.coverFlux > 0) sky.push_back(source(c.start + c.motion * c.hiddenIn + c.cover, c.coverFlux));
    for (int k = 0; k < c.pictures; ++k) {
        SearchPicture& p = pictures[k];
        const double turn = c.turn * k * M_PI / 180, scale = k == 0 ? 1 : 1.1;
        p.toPicture1 = {scale * std::cos(turn), scale * std::sin(turn), 30.0 * k, -20.0 * k};
        const SimilarityTransform back = p.toPicture1.inverted();
        const double gain = k == 0 ? 1 : c.exposure;
        p.stars = {.width = Width, .height = Height, .noiseSigma = 3};
        for (const Star& s : sky)
            p.stars.stars.push_back(source(back.map(s.position()), s.flux * gain));
        const double flux = 2000 * gain * std::pow(c.fading, k);
        if (k != c.hiddenIn)
            p.stars.stars.push_back(
                source(back.map(c.start + c.motion * c.steps.value(k, k)), flux, c.flags));
        if (k == c.pictures - 1 && !c.faint.isNull())
            p.stars.stars.push_back(source(back.map(c.start + c.faint), 20));
        if (!c.hours.isEmpty()) p.hours = c.hours[k];
    }
    return pictures;
}

/// A grey sky of background 40 and noise 3 with one Gaussian star of FWHM 2.5 and the given peak.
QImage skyWithStar(int w, int h, QPointF star, double peak, QRandomGenerator& rng) {
    QImage img(w, h, QImage::Format_Grayscale8);
    const double sigma = Fwhm / 2.3548;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = x + 0.5 - star.x(), dy = y + 0.5 - star.y();
            const double v =
                40 + 3 * test::gaussian(rng) + peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            img.scanLine(y)[x] = uchar(std::clamp(std::lround(v), 0L, 255L));
        }
    return img;
}

} // namespace

Q_DECLARE_METATYPE(SearchCase)

class TestMovingSearch : public QObject {
    Q_OBJECT

  private slots:
    void search_data() {
        QTest::addColumn<SearchCase>("c");
        auto row = [](const char* name, const SearchCase& c) { QTest::newRow(name) << c; };
        row("one picture only", {.pictures = 1, .motion = {10, 0}});
        row("two pictures, 10 px to the right",
            {.motion = {10, 0}, .movers = 1, .speed = 10, .direction = 90});
        row("two pictures, up and left",
            {.motion = {-20, -20}, .movers = 1, .speed = 28.284, .direction = 315});
        row("timed: pixels per hour",
            {.motion = {0, 12}, .hours = {0, 0.5}, .movers = 1, .speed = 24, .direction = 180});
        row("picture 2 taken first", {.motion = {0, 12}, .hours = {1, 0.5}, .movers = 1, .speed = 24});
        row("under two star widths", {.motion = {4.9, 0}, .flashes = 2});
        row("beyond the largest step", {.motion = {0, 61}, .flashes = 2});
        row("0.9 magnitudes fainter",
            {.motion = {30, 0}, .fading = 0.437, .movers = 1, .speed = 30, .direction = 90});
        row("1.2 magnitudes fainter", {.motion = {30, 0}, .fading = 0.33, .flashes = 2});
        row("picture 2 exposed 3 times longer",
            {.motion = {30, 0}, .exposure = 3, .movers = 1, .speed = 30, .direction = 90});
        row("hot pixels", {.motion = {10, 0}, .flags = StarHotPixel});
        row("trails", {.motion = {10, 0}, .flags = StarTrail});
        row("picture 2 turned 30 degrees",
            {.motion = {15, 5}, .turn = 30, .movers = 1, .speed = 15.811, .direction = 108.435});
        row("outside the overlap", {.motion = {0, 10}, .start = {Width - 10, 400}});
        row("a star that stays", {.motion = {0, 0}});
        row("three pictures, equal steps",
            {.pictures = 3, .motion = {8, -6}, .turn = 10, .movers = 1, .speed = 10, .direction = 53.13});
        row("three pictures, off the line",
            {.pictures = 3, .motion = {8, -6}, .steps = {0, 1, 2.4}, .flashes = 3});
        row("three pictures, steps as the times", {.pictures = 3,
                                                   .motion = {0, -10},
                                                   .steps = {0, 1, 3},
                                                   .hours = {0, 1, 3},
                                                   .movers = 1,
                                                   .speed = 10});
        row("three pictures, unequal steps, no times",
            {.pictures = 3, .motion = {0, -10}, .steps = {0, 1, 3}, .flashes = 3});
        row("three pictures, equal steps, unequal times",
            {.pictures = 3, .motion = {0, -10}, .steps = {0, 1, 2}, .hours = {0, 1, 3}, .flashes = 3});
        row("three pictures out of time order", {.pictures = 3,
                                                 .motion = {10, 0},
                                                 .steps = {1, 0, 2},
                                                 .hours = {1, 0, 2},
                                                 .movers = 1,
                                                 .speed = 10,
                                                 .direction = 90});
        row("three pictures, one step too long",
            {.pictures = 3, .motion = {10, 0}, .steps = {0, 1, 8}, .hours = {0, 1, 8}, .flashes = 3});
        row("3: a far fainter detection within a star width of the start",
            {.pictures = 3, .motion = {0, -12}, .faint = {2, 0.5}, .movers = 1, .speed = 12});
        SearchCase hidden{
            .pictures = 3, .motion = {0, -12}, .hiddenIn = 2, .coverFlux = 3000, .movers = 1, .speed = 12};
        row("2 of 3: on a star", hidden);
        row("2 of 3: in empty sky", {.pictures = 3, .motion = {0, -12}, .hiddenIn = 2, .flashes = 2});
        hidden.hiddenIn = 1;
        hidden.coverFlux = 2e5;
        hidden.cover = {4, 0};
        row("2 of 3: beside one 100 times brighter", hidden);
    }
    void search() {
        QFETCH(SearchCase, c);
        const MovingSearchResult r = findMovingObjects(scene(c));
        QCOMPARE(r.movers.size(), c.movers);
        QCOMPARE(r.flashes.size(), c.flashes);
        if (c.movers == 0) return;
        QCOMPARE(r.fwhm, Fwhm);
        const MovingCandidate& m = r.movers[0];
        QCOMPARE(m.at.size(), c.pictures);
        QCOMPARE(m.unseen, c.hiddenIn);
        for (int k = 0; k < c.pictures; ++k)
            QVERIFY2(
                QLineF(m.at[k], c.start + c.motion * c.steps.value(k, k)).length() < 1e-6,
                qPrintable(
                    QStringLiteral("picture %1 at %2, %3").arg(k + 1).arg(m.at[k].x()).arg(m.at[k].y())));
        QCOMPARE(m.perHour, !c.hours.isEmpty());
        QVERIFY2(std::abs(m.speed - c.speed) < 1e-3, qPrintable(QString::number(m.speed)));
        QVERIFY2(std::abs(m.directionDegrees - c.direction) < 1e-3,
                 qPrintable(QString::number(m.directionDegrees)));
        QVERIFY(std::abs(m.magnitudeDifference + 2.5 * std::log10(std::pow(c.fading, c.pictures - 1))) <
                1e-6);
    }

    /// Ten objects from peak signal-to-noise 5 to 50 among 2000 stars of a 6000 x 4000 picture, with
    /// hot pixels and a satellite trail, found from the pictures as the window finds them.
    void generatedField() {
        const test::MoverField field = test::moverField(3);
        const QVector<SearchPicture> pictures = test::searchPictures(field, 3);
        // Found objects (all their positions within 2 pixels, each within 0.3 pixel) and false
        // candidates of a search on the pictures shown; worst: the largest miss of a found one.
        double worst = 0;
        auto tally = [&](const QVector<int>& shown) {
            QVector<SearchPicture> searched;
            for (int k : shown)
                searched << pictures[k];
            int found = 0, spurious = 0;
            double largest = 0;
            for (const MovingCandidate& c : findMovingObjects(searched).movers) {
                double best = 1e9; // the largest miss of the object it stands nearest to
                for (const test::MovingObject& o : field.objects) {
                    double miss = 0;
                    for (int k = 0; k < shown.size(); ++k)
                        miss = std::max(miss, QLineF(c.at[k], o.in(shown[k])).length());
                    best = std::min(best, miss);
                }
                if (best < 2) largest = std::max(largest, best);
                (best < 2 ? found : spurious)++;
            }
            qInfo() << "pictures" << shown << "(from 0):" << found << "of 10 found," << spurious
                    << "false, largest miss" << largest << "px";
            worst = std::max(worst, largest);
            return std::pair{found, spurious};
        };
        const auto [found2, spurious2] = tally({0, 1});
        QVERIFY(found2 >= 9 && spurious2 <= 1);
        // Pictures 1 and 3 lie twice as far apart: the fast objects are beyond reach, but nothing
        // false comes in.
        QVERIFY(tally({0, 2}).second <= 1);
        QCOMPARE(tally({0, 1, 2}), std::pair(10, 0));
        QVERIFY2(worst <= 0.3, qPrintable(QString::number(worst)));
    }

    /// Hot pixels where the sensor has them (one in 245 pixels: many stand together), and three
    /// corner to corner in picture 2 on a star's wing: no candidate but the object, no flash.
    void defects() {
        const auto sky = test::randomSky(QRectF(0, 0, 700, 700), 150, 3, 12, 200)
                         << test::SkyStar{196.5, 500.5, 100};
        QVector<SearchPicture> searched;
        for (int k = 0; k < 3; ++k) {
            const SimilarityTransform toPicture1{1, 0, 10.4 * k, -6.3 * k};
            QImage image = test::viewSky(QVector(sky) << test::SkyStar{300 + 14.0 * k, 200 + 9.0 * k, 45},
                                         {700, 700}, toPicture1, 40 + k, {.fwhm = 2.2, .hotPixels = 2000})
                               .image;
            for (QPoint spike : {QPoint(190, 507), QPoint(191, 508), QPoint(192, 507)})
                if (k == 1) image.setPixel(spike, 0xffffffff);
            searched << SearchPicture{detectForMovingSearch(image), toPicture1, image, k / 6.0};
        }
        const MovingSearchResult r = findMovingObjects(searched);
        QCOMPARE(r.movers.size(), 1);
        QVERIFY(QLineF(r.movers[0].at[0], QPointF(300, 200)).length() < 0.3 && r.flashes.isEmpty());
    }

    void measure_data() {
        // Where the star is and its height over the background (0: none), where the measurement
        // starts, and its signal-to-noise range and where it must end, to `within` pixels.
        const QPointF asked(40.5, 30.5);
        test::DataTable<QPointF, double, QPointF, bool, bool, double, double, QPointF, double>(
            "star", "peak", "asked", "recentre", "ok", "minSnr", "maxSnr", "centre", "within")
            .row("bright star, found from a pixel off", {40.3, 30.8}, 120, {41.2, 30.0}, true, true, 65, 85,
                 {40.3, 30.8}, 0.1)
            .row("faint star (peak 5 sigma)", {40.7, 30.2}, 15, asked, true, true, 6, 13, {40.7, 30.2}, 0.4)
            .row("empty sky", {}, 0, asked, false, true, -3, 3, asked, 0)
            .row("too near the edge", {6.5, 30.5}, 120, {6.5, 30.5}, true, false, 0, 0, {}, 0)
            .row("a star three widths away stays away", {48, 30.5}, 120, asked, false, true, -3, 3, asked, 0);
    }

    void measure() {
        QFETCH(QPointF, star);
        QFETCH(double, peak);
        QFETCH(QPointF, asked);
        QFETCH(bool, recentre);
        QFETCH(bool, ok);
        QFETCH(double, minSnr);
        QFETCH(double, maxSnr);
        QFETCH(QPointF, centre);
        QFETCH(double, within);

        QRandomGenerator rng(qHash(QByteArray(QTest::currentDataTag())));
        const QImage img = skyWithStar(80, 60, star, peak, rng);
        const SpotMeasure m = measureSpot(img, false, asked, Fwhm, recentre);
        QCOMPARE(m.ok, ok);
        if (!ok) return;
        QVERIFY2(m.snr >= minSnr && m.snr <= maxSnr, qPrintable(QString::number(m.snr)));
        QVERIFY2(std::abs(m.background - 40) < 1.5, qPrintable(QString::number(m.background)));
        QVERIFY2(std::abs(m.noise - 3) < 0.6, qPrintable(QString::number(m.noise)));
        QVERIFY2(std::hypot(m.centre.x() - centre.x(), m.centre.y() - centre.y()) <= within + 1e-9,
                 qPrintable(QStringLiteral("%1, %2").arg(m.centre.x()).arg(m.centre.y())));
        if (centre != star) return;
        const double flux = peak * 2 * M_PI * std::pow(Fwhm / 2.3548, 2);
        QVERIFY2(std::abs(m.flux / flux - 1) < (peak > 50 ? 0.05 : 0.25),
                 qPrintable(QString::number(m.flux / flux)));
    }

    /// The centroid of a faint star is good to a tenth of a pixel whatever the noise: the mean
    /// miss over many noise draws.
    void faintCentroid() {
        double sum = 0;
        for (quint32 seed = 1; seed <= 40; ++seed) {
            QRandomGenerator rng(seed);
            const QPointF star(30 + rng.generateDouble(), 30 + rng.generateDouble());
            const QImage img = skyWithStar(60, 60, star, 15, rng);
            const SpotMeasure m = measureSpot(img, false, QPointF(30.5, 30.5), Fwhm, true);
            QVERIFY(m.ok);
            sum += std::hypot(m.centre.x() - star.x(), m.centre.y() - star.y());
        }
        QVERIFY2(sum / 40 < 0.2, qPrintable(QString::number(sum / 40)));
    }
};

QTEST_GUILESS_MAIN(TestMovingSearch)
#include "tst_movingsearch.moc"
