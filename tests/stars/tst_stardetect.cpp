#include "stars/stardetect.h"
#include "support/starsky.h"

#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

Q_DECLARE_METATYPE(vorlan::test::SkyView)

namespace {

/// The nearest source to p and its distance, pixels; -1 when the list is empty.
int nearestSource(const StarList& list, QPointF p, double& dist) {
    const auto d = [&](const Star& s) { return std::hypot(s.x - p.x(), s.y - p.y()); };
    const auto best = std::min_element(list.stars.begin(), list.stars.end(),
                                       [&](const Star& a, const Star& b) { return d(a) < d(b); });
    dist = best == list.stars.end() ? 1e300 : d(*best);
    return best == list.stars.end() ? -1 : int(best - list.stars.begin());
}

double median(QVector<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

class TestStarDetect : public QObject {
    Q_OBJECT
  private slots:
    // Every clearly bright, isolated, unsaturated star is found once, usable, at its true centre;
    // nothing is found where there is no star; the picture's kind and noise are read right.
    void findsStars_data() {
        QTest::addColumn<SkyView>("view");
        QTest::addColumn<bool>("inverted");
        auto row = [](const char* name, bool inverted, const std::function<void(SkyView&)>& change) {
            SkyView view;
            change(view);
            QTest::newRow(name) << view << inverted;
        };
        row("grey", false, [](SkyView&) {});
        row("colour", false, [](SkyView& v) { v.colour = true; });
        row("broad stars", false, [](SkyView& v) { v.fwhm = 5; });
        row("sharp stars", false, [](SkyView& v) { v.fwhm = 2; });
        row("chart: dark stars on white", true, [](SkyView& v) { v.chart = true; });
        row("background clipped to black", false, [](SkyView& v) { v.background = v.noise = 0; });
        row("bright galaxy across the field", false, [](SkyView& v) {
            v.colour = true;
            v.glowPeak = 150;
            v.glowSigma = 200;
            v.glowCentre = QPointF(420, 310);
        });
    }
    void findsStars() {
        QFETCH(SkyView, view);
        QFETCH(bool, inverted);
        const SkyPicture pic = renderSky(randomSky(QRectF(0, 0, view.width, view.height), 500, 7), view);
        const StarList list = detectStars(pic.image);
        QCOMPARE(list.inverted, inverted);
        QCOMPARE(list.width, view.width);
        // Colour: the brightness averages three channels' noise.
        const double noise = view.colour ? view.noise * 0.66 : view.noise;
        QVERIFY2(list.noiseSigma >= 0.5 && list.noiseSigma <= 1.25 * noise + 0.5,
                 qPrintable(QString::number(list.noiseSigma)));
        if (view.glowPeak == 0) QVERIFY(std::abs(list.backgroundMedian - view.background) < 1.5);

        // Found: every isolated, unsaturated star 10 sigma high or more. Centred to 0.05 pixel:
        // those 25 sigma high or more (fainter ones are as good as their noise allows, no better).
        QVector<double> errors, widths;
        int measurable = 0, found = 0, onGlow = 0;
        for (const SkyPicture::Shown& s : pic.stars) {
            const double dx = s.at.x() - view.glowCentre.x(), dy = s.at.y() - view.glowCentre.y();
            const double glow =
                view.glowPeak * std::exp(-(dx * dx + dy * dy) / (2 * view.glowSigma * view.glowSigma));
            const double margin = 2 * view.fwhm + 2;
            const bool inside = s.at.x() > margin && s.at.y() > margin && s.at.x() < view.width - margin &&
                                s.at.y() < view.height - margin;
            const bool alone =
                std::none_of(pic.stars.begin(), pic.stars.end(), [&](const SkyPicture::Shown& o) {
                    const double d = std::hypot(o.at.x() - s.at.x(), o.at.y() - s.at.y());
                    return d > 0 && d < 2 * view.fwhm + 4;
                });
            const double sigmas = s.peak / std::max(noise, 0.5);
            if (sigmas < 10 || s.peak + view.background + glow > 235 || !inside || !alone) continue;
            ++measurable;
            double dist;
            const int i = nearestSource(list, s.at, dist);
            if (i < 0 || dist > 1 || !list.stars[i].usable()) continue;
            ++found;
            if (glow > 50) ++onGlow;
            if (sigmas < 25) continue;
            errors << dist;
            widths << list.stars[i].fwhm;
        }
        QVERIFY(measurable > 100 && errors.size() > 30);
        QVERIFY2(found >= 0.98 * measurable,
                 qPrintable(QStringLiteral("%1 of %2").arg(found).arg(measurable)));
        if (view.glowPeak > 0) QVERIFY2(onGlow >= 15, qPrintable(QString::number(onGlow)));
        double sum2 = 0;
        for (double e : errors)
            sum2 += e * e;
        const double rms = std::sqrt(sum2 / errors.size());
        qInfo("centroid RMS %.4f px over %d stars, largest %.3f; found %d of %d", rms, int(errors.size()),
              *std::max_element(errors.begin(), errors.end()), found, measurable);
        QVERIFY2(rms <= 0.05, qPrintable(QString::number(rms)));
        // The width a pixel grid shows: the star's own widened by the pixel, within 10 %.
        const double shownFwhm = std::sqrt(view.fwhm * view.fwhm + 8 * std::log(2.0) / 12);
        QVERIFY2(std::abs(median(widths) / shownFwhm - 1) < 0.1, qPrintable(QString::number(median(widths))));

        // Nothing usable where no star is.
        int spurious = 0;
        for (const Star& s : list.stars) {
            const bool star =
                std::any_of(pic.stars.begin(), pic.stars.end(), [&](const SkyPicture::Shown& o) {
                    return std::hypot(o.at.x() - s.x, o.at.y() - s.y) < 3;
                });
            if (s.usable() && !star) ++spurious;
        }
        QVERIFY2(spurious <= 2, qPrintable(QString::number(spurious)));
    }

    // Sensor defects, a satellite trail, a saturated star and a star cut by the border are
    // flagged, so registration never leans on them.
    void flagsDefects_data() {
        QTest::addColumn<bool>("colour");
        QTest::newRow("grey") << false;
        QTest::newRow("colour") << true;
    }
    void flagsDefects() {
        QFETCH(bool, colour);
        SkyView view;
        view.colour = colour;
        view.hotPixels = 15;
        view.trail = true;
        QVector<SkyStar> sky = randomSky(QRectF(0, 0, view.width, view.height), 200, 11);
        const QPointF saturated(400.3, 150.7), cut(0.8, 300.4);
        sky << SkyStar{saturated.x(), saturated.y(), 700} << SkyStar{cut.x(), cut.y(), 150};
        const SkyPicture pic = renderSky(sky, view);
        const StarList list = detectStars(pic.image);
        auto near = [&](QPointF p, double within) {
            return std::any_of(pic.stars.begin(), pic.stars.end(), [&](const SkyPicture::Shown& o) {
                return std::hypot(o.at.x() - p.x(), o.at.y() - p.y()) < within;
            });
        };
        auto flagsAt = [&](QPointF p) {
            double dist;
            const int i = nearestSource(list, p, dist);
            return i >= 0 && dist < 1.5 ? list.stars[i].flags : ~0u;
        };
        const QLineF& trail = pic.trail;
        auto offTrail = [&](QPointF p) {
            return std::abs((p.x() - trail.x1()) * trail.dy() - (p.y() - trail.y1()) * trail.dx()) /
                   trail.length();
        };
        int hot = 0;
        for (const QPoint& h : pic.hotPixels) {
            const QPointF centre(h.x() + 0.5, h.y() + 0.5);
            if (near(centre, 8) || offTrail(centre) < 6) continue;
            QVERIFY2(flagsAt(centre) != ~0u && (flagsAt(centre) & StarHotPixel),
                     qPrintable(QStringLiteral("hot pixel %1,%2").arg(h.x()).arg(h.y())));
            ++hot;
        }
        QVERIFY(hot >= 10);
        QVERIFY(flagsAt(saturated) != ~0u && (flagsAt(saturated) & StarSaturated));
        QVERIFY(flagsAt(cut) != ~0u && (flagsAt(cut) & StarEdge));
        // The trail is one long flagged source; nothing along it away from stars is usable.
        QVERIFY(std::any_of(list.stars.begin(), list.stars.end(), [](const Star& s) {
            return (s.flags & StarTrail) && s.pixels > 500 && s.elongation > 20;
        }));
        for (const Star& s : list.stars) {
            if (offTrail(s.position()) < 3 && !near(s.position(), 5))
                QVERIFY2(!s.usable(), qPrintable(QStringLiteral("%1,%2").arg(s.x).arg(s.y)));
        }
    }
};

QTEST_GUILESS_MAIN(TestStarDetect)
#include "tst_stardetect.moc"
