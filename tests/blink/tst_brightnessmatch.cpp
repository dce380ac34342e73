// Fitting one picture's brightness to another's, the difference picture, and the phases of the
// blink cycle, without a window.

#include "blink/blinkcycle.h"
#include "blink/blinkshare.h"
#include "blink/brightnessmatch.h"
#include "support/datatable.h"
#include "support/nightsky.h"
#include "support/screencompare.h"

#include <QtTest>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Picture 1's values: a background of 30 (with a grain of +-6 when grainy) under `stars`
/// Gaussian stars of growing amplitude, each sampled on a 13 x 13 grid.
QVector<double> skyValues(bool grainy, int stars, double brightest) {
    QVector<double> values;
    for (int i = 0; i < 20000; ++i)
        values << 30 + (grainy ? (i * 7 % 13) - 6 : 0);
    for (int s = 1; s <= stars; ++s) {
        const double amplitude = brightest * s / stars;
        for (int y = -6; y <= 6; ++y)
            for (int x = -6; x <= 6; ++x)
                values << 30 + amplitude * std::exp(-(x * x + y * y) / 8.0);
    }
    return values;
}

uchar level(double v) {
    return uchar(std::clamp(std::lround(v), 0L, 255L));
}

/// A grey or colour picture of six stars: picture 1's sky shifted by shift, each channel through
/// its line, with one star at `mover` and what only this picture shows (a nova, a trail).
QImage skyPicture(QSize size, QPoint shift, const std::array<ToneLine, 3>& lines, QPointF mover, bool grey,
                  const QVector<NightStar>& own = {}) {
    QVector<NightStar> stars = own;
    for (QPointF at : {QPointF(40, 30), QPointF(90, 70), QPointF(150, 40), QPointF(60, 110),
                       QPointF(170, 120), QPointF(120, 20)})
        stars.push_back({at, 40 + 20.0 * (stars.size() - own.size()), std::sqrt(2.5)});
    return nightPicture(size, shift, stars + QVector<NightStar>{{mover, 100, 2}}, lines, grey);
}

/// Whether line undoes what k did to picture 1: its slope within 2 %, its offset within a level.
bool undoes(const ToneLine& line, const ToneLine& k) {
    return std::abs(line.a * k.a - 1) < 0.02 && std::abs(line.b + k.b / k.a) < 1.0;
}

/// Three lines from a, b of red, green, blue.
std::array<ToneLine, 3> linesOf(const QVector<double>& v) {
    return {{{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}}};
}

const QRgb MidGrey = qRgb(128, 128, 128);

} // namespace

class TestBrightnessMatch : public QObject {
    Q_OBJECT
  private slots:
    void matchLevels_data() {
        // picture k = gain * picture 1 + offset; brightest: amplitude of picture 1's brightest
        // star, 0 none, -1 no grain either
        DataTable<double, double, double, bool>("gain", "offset", "brightest", "fits")
            .row("brighter with an offset", 1.8, 25, 120, true)
            .row("brighter, the bright stars clipped", 1.8, 25, 220, true)
            .row("four times, most stars clipped", 4, 10, 200, true)
            .row("fainter, offset below 0", 0.55, -8, 200, true)
            .row("alike", 1, 0, 150, true)
            .row("grain only", 1.8, 25, 0, true)
            .row("one level", 1.8, 25, -1, false)
            .row("all clipped", 10, 255, 120, false);
    }
    void matchLevels() {
        QFETCH(double, gain);
        QFETCH(double, offset);
        QFETCH(double, brightest);
        QFETCH(bool, fits);
        LevelCounts one{}, k{};
        const QVector<double> sky = skyValues(brightest >= 0, brightest > 0 ? 12 : 0, brightest);
        for (double v : sky) {
            ++one[level(v)];
            ++k[level(gain * v + offset)];
        }
        const std::optional<ToneLine> line = vorlan::matchLevels(one, k);
        QCOMPARE(line.has_value(), fits);
        if (line)
            QVERIFY2(undoes(*line, {gain, offset}),
                     qPrintable(QString("a %1 b %2").arg(line->a).arg(line->b)));
    }

    void fitAndDifference_data() {
        // shift: picture k shows picture 1's sky shifted by this; enlarged: picture k drawn this
        // many times larger, then shifted; lines: a, b of red, green, blue in picture k; nova:
        // picture k shows a bright star picture 1 lacks
        DataTable<bool, QPoint, int, QVector<double>, bool> table("grey", "shift", "enlarged", "lines",
                                                                  "nova");
        const QVector<double> brighter{1.8, 25, 1.8, 25, 1.8, 25}, own{1.8, 25, 1.5, 5, 0.7, -3};
        table.row("grey, shifted", true, {9, 6}, 1, brighter, false)
            .row("grey, a new star", true, {9, 6}, 1, brighter, true)
            .row("colour, each channel its own line", false, {-5, 3}, 1, own, false)
            .row("colour, a new star", false, {-5, 3}, 1, own, true)
            .row("grey, twice the resolution", true, {0, 0}, 2, {0.9, 10, 0.9, 10, 0.9, 10}, false);
    }
    void fitAndDifference() {
        QFETCH(bool, grey);
        QFETCH(QPoint, shift);
        QFETCH(int, enlarged);
        QFETCH(QVector<double>, lines);
        QFETCH(bool, nova);
        const QSize size(200, 150);
        const std::array<ToneLine, 3> same{}, k = linesOf(lines);
        const QPointF then(100, 90), now(115, 95), novaAt = nova ? QPointF(140, 115) : QPointF(-100, -100);
        const QImage one = skyPicture(size, {}, same, then, grey);
        QImage other = skyPicture(size, shift, k, now, grey, {{novaAt, 150, 2}});
        if (enlarged > 1) other = other.scaled(size * enlarged); // nearest: each pixel a block
        // Picture k lies where its sky meets picture 1's: pixel p of picture 1 is (p + shift) * enlarged.
        const PixelMapping mapping =
            mappingBetween(0, 0, enlarged, -shift.x() * enlarged, -shift.y() * enlarged, 1);
        QCOMPARE(mapping.map(QPointF(10, 20)), (QPointF(10, 20) + shift) * enlarged);

        const BrightnessFit fit = fitBrightness(one, other, mapping);
        QVERIFY(fit.valid);
        QCOMPARE(fit.grey, grey);
        for (size_t ch = 0; ch < 3; ++ch)
            QVERIFY2(undoes(fit.rgb[ch], k[ch]),
                     qPrintable(QString("channel %1: %2").arg(ch).arg(vorlan::fitText(fit))));

        const QImage d = differencePicture(one, other, mapping, fit);
        QCOMPARE(d.size(), size);
        QCOMPARE(d.format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        const QRect overlap = QRect(QPoint(0, 0), size).translated(-shift) & QRect(QPoint(0, 0), size);
        QImage mid(size, QImage::Format_RGB32);
        mid.fill(MidGrey);
        const double agree = agreeing(
            d.convertToFormat(QImage::Format_RGB32), mid, overlap.adjusted(2, 2, -3, -3), [&](int x, int y) {
                const QPointF p(x, y);
                return QLineF(p, then).length() >= 8 && QLineF(p, now).length() >= 8 &&
                       QLineF(p, novaAt).length() >= 8;
            });
        QCOMPARE_GE(agree, 0.99); // at mid grey
        QVERIFY(qGray(d.pixel(now.toPoint())) > 170);
        // The brightest star saturates in picture k where its line is steeper than 1: still no change.
        QCOMPARE_LE(channelDifference(d.pixel(170, 120), MidGrey), 2);
        QVERIFY(qGray(d.pixel(then.toPoint())) < 85);
        if (nova) QVERIFY(qGray(d.pixel(novaAt.toPoint())) > 170);
        // Outside picture k there is nothing to compare: mid grey.
        const QPoint outside(shift.x() > 0 ? size.width() - 1 : 0, shift.y() > 0 ? size.height() - 1 : 0);
        if (!shift.isNull()) QCOMPARE(d.pixelColor(outside), QColor(128, 128, 128));
    }

    // A satellite trail across picture k alone is changed sky as well: the fit sheds it.
    void aTrailDoesNotBendTheFit() {
        QVector<NightStar> trail;
        for (int x = 0; x < 200; x += 2)
            trail.push_back({QPointF(x, 10 + 0.6 * x), 70, 0.8});
        const ToneLine k{1.8, 25};
        const QImage one = skyPicture({200, 150}, {}, {}, {100, 90}, true);
        const BrightnessFit fit =
            fitBrightness(one, skyPicture({200, 150}, {}, {k, k, k}, {100, 90}, true, trail), {});
        QVERIFY2(undoes(fit.rgb[0], k), qPrintable(vorlan::fitText(fit)));
    }

    void matchedPicturesSaturateAlike() {
        BrightnessFit brighter, fainter;
        brighter.rgb = {{{0.556, -13.9}, {0.5, 0}, {1, 0}}};
        fainter.rgb = {{{1.3, 2}, {0.8, -10}, {2, 0}}};
        QCOMPARE(sharedCeiling({}), (std::array<int, 3>{255, 255, 255}));
        QCOMPARE(sharedCeiling({brighter}), (std::array<int, 3>{128, 128, 255}));
        QCOMPARE(sharedCeiling({brighter, fainter}), (std::array<int, 3>{128, 128, 255}));
        QCOMPARE(sharedCeiling({fainter}), (std::array<int, 3>{255, 194, 255}));
    }

    void samplesAreThinnedOut() {
        QImage big(3000, 2000, QImage::Format_Grayscale8);
        big.fill(40);
        const BrightnessFit fit = fitBrightness(big, big, {});
        QVERIFY(fit.samples <= FitSampleTarget && fit.samples > FitSampleTarget / 2);
        // Pictures that do not overlap give no fit.
        QCOMPARE(fitBrightness(big, big, {1, 5000, 0}).samples, 0);
        QVERIFY(!fitBrightness(big, big, {1, 5000, 0}).valid);
    }

    void sameRegistration_data() {
        DataTable<QVector<double>, bool>("b", "same") // b: scale, dx, dy against {1, 9, 6}
            .row("identical", {1, 9, 6}, true)
            .row("a hundredth of a pixel", {1, 9.01, 5.99}, true)
            .row("a tenth of a pixel", {1, 9.1, 6}, false)
            .row("scale off by 1/1000 over 3000 pixels", {1.001, 9, 6}, false);
    }
    void sameRegistration() {
        QFETCH(QVector<double>, b);
        QFETCH(bool, same);
        QCOMPARE(vorlan::sameRegistration({1, 9, 6}, {b[0], b[1], b[2]}, 3000), same);
    }

    void fitText_data() {
        DataTable<QVector<double>, QString>("lines", "text")
            .row("one line", {0.5556, -13.89, 0.5556, -13.89, 0.5556, -13.89}, "a 0.556 b -13.9")
            .row("channels differ", {0.5556, -13.89, 0.6667, -3.3, 1.4286, 4.29},
                 "a 0.556/0.667/1.429 b -13.9/-3.3/4.3");
    }
    void fitText() {
        QFETCH(QVector<double>, lines);
        QFETCH(QString, text);
        BrightnessFit fit;
        fit.rgb = linesOf(lines);
        QCOMPARE(vorlan::fitText(fit), text);
    }

    void blinkCycle_data() {
        DataTable<int, bool, bool, QString>("set", "difference", "third", "phases") // "d": a difference
            .row("1 - 2", int(BlinkSet::OneTwo), false, true, "1 2")
            .row("1 - 3", int(BlinkSet::OneThree), false, false, "1 3")
            .row("1 - 2 - 3", int(BlinkSet::OneTwoThree), false, true, "1 2 3")
            .row("1 - 2 - 3 without picture 3", int(BlinkSet::OneTwoThree), false, false, "1 2")
            .row("difference 1 - 2", int(BlinkSet::OneTwo), true, true, "1 d2")
            .row("difference 1 - 2 - 3", int(BlinkSet::OneTwoThree), true, true, "1 d2 d3");
    }
    void blinkCycle() {
        QFETCH(int, set);
        QFETCH(bool, difference);
        QFETCH(bool, third);
        QFETCH(QString, phases);
        QStringList shown;
        for (const BlinkView& v : blinkCycleOf(BlinkSet(set), difference, third))
            shown << (v.difference ? "d" : "") + QString::number(v.slot);
        QCOMPARE(shown.join(' '), phases);
        QCOMPARE(nextBlinkPhase(3, 2), 1); // left from a longer cycle, a tick starts it again
    }
};

QTEST_GUILESS_MAIN(TestBrightnessMatch)
#include "tst_brightnessmatch.moc"
