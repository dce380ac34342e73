#include "photometry/starmeasure.h"

#include "common/numberforms.h"
#include "sky/fieldhelpers.h"
#include "sky/skymath.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

/// One row of the cut-out as the scans read it.
struct Row {
    const QRgb* pixels;
    const uchar* mask;
    float threshold;
    bool isStar(int x) const { return mask[x] == SkyPixel && PixelBrightness(pixels[x]) > threshold; }
};

Row rowOf(const PhotometryCut& cut, float threshold, int y) {
    return {reinterpret_cast<const QRgb*>(cut.image.constScanLine(y)), cut.mask.constScanLine(y), threshold};
}

/// Finds the run of row y that holds column xc or xc + 1, adds its pixels to s and returns the
/// middle column of the run; -1 when there is none.
int ScanRow(const PhotometryCut& cut, float threshold, int y, int xc, StarScan& s) {
    if (y < 0 || y >= CutSize || xc < 0 || xc >= CutSize) return -1;
    const Row row = rowOf(cut, threshold, y);
    int left = xc;
    while (left >= 0 && row.isStar(left))
        --left;
    int right = xc + 1;
    while (right < CutSize && row.isStar(right))
        ++right;
    ++left;
    --right;
    if (left > right) return -1;
    for (int x = left; x <= right; ++x) {
        const QRgb c = row.pixels[x];
        s.S += PixelBrightness(c);
        s.SR += qRed(c);
    }
    s.n += right - left + 1;
    s.runs.append({y, left, right});
    return int(RoundHalfEven((left + right) / 2.0));
}

constexpr int BackgroundReach = 100;

const QString NoBackground = QStringLiteral("нет фона");
const QString NoLight = QStringLiteral("нет света звезды");
const QString ZeroStar1 = QStringLiteral("свет яркой звезды 0");
const QString ZeroStar2 = QStringLiteral("свет 2-й звезды 0");
const QString NotNumber1 = QStringLiteral("свет яркой звезды не число");
const QString NotNumber2 = QStringLiteral("свет 2-й звезды не число");
const QString EqualLights = QStringLiteral("свет звёзд одинаков");

/// The whole text as a number ("." as the point); empty when it is not a plain number.
std::optional<double> plainNumber(const QString& text) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

/// A comparison light as the mode test compares it: rounded to a whole number, -1000 when
/// the box is empty.
double wholeOrEmpty(const QString& text) {
    return text.isEmpty() ? -1000.0 : std::rint(LeadingNumber(text));
}

/// A value or the note saying why there is none.
struct Value {
    double v = 0;
    QString note;
    bool ok() const { return note.isEmpty(); }
};

} // namespace

StarScan ScanStar(const PhotometryCut& cut, float threshold, double x, double y) {
    StarScan s;
    s.x0 = int(RoundHalfEven(x));
    s.y0 = int(RoundHalfEven(y));
    const int middle = ScanRow(cut, threshold, s.y0, s.x0, s);
    if (middle < 0) return s;
    s.found = true;
    for (int step : {1, -1}) {
        int xc = middle;
        for (int row = s.y0 + step; xc >= 0; row += step)
            xc = ScanRow(cut, threshold, row, xc, s);
    }
    return s;
}

StarBackground EstimateBackground(const PhotometryCut& cut, float threshold, int x0, int y0) {
    StarBackground b;
    const int x1 = std::max(0, x0 - BackgroundReach), x2 = std::min(CutSize - 1, x0 + BackgroundReach);
    const int y1 = std::max(0, y0 - BackgroundReach), y2 = std::min(CutSize - 1, y0 + BackgroundReach);
    for (int y = y1; y <= y2; ++y) {
        const Row row = rowOf(cut, threshold, y);
        for (int x = x1; x <= x2; ++x) {
            if (row.mask[x] != SkyPixel) continue;
            const int v = PixelBrightness(row.pixels[x]);
            if (v < threshold) {
                b.SB += v;
                ++b.nB;
            }
        }
    }
    return b;
}

StarFields ReportStar(const StarScan& star, const StarBackground& bg, int uv, const ComparisonTexts& atStart,
                      const ComparisonTexts& now) {
    StarFields f;
    const QString intensityHead = QStringLiteral("Общая интенсивность  ");
    const QString colourHead = QStringLiteral("Показатель цвета   ");

    // Intensity I' and colour index.
    Value intensity;
    if (bg.nB == 0) {
        intensity.note = NoBackground;
        f.LblInfo1 = intensityHead + NoBackground;
        f.TxtInfo = NoBackground;
        f.LblInfo2 = colourHead + NoBackground;
    } else {
        const float level = float(bg.SB) / float(bg.nB);
        const double corrected = double(star.S) - double(level) * double(star.n);
        const int64_t I = RoundHalfEven(corrected);
        const double SR = star.SR - double(level) * double(star.n);
        intensity.v = double(I) / (double(uv) * uv);
        f.LblInfo1 = intensityHead + LocaleForm(intensity.v);
        f.TxtInfo = LocaleForm(intensity.v);
        if (I == 0) {
            intensity.note = NoLight;
            f.LblInfo2 = colourHead + NoLight;
        } else {
            // From the sums before rounding: the whole-number I would tilt a faint grey star
            // by up to 5 / I.
            const float ci = float(10 * (SR / corrected - 1));
            f.LblInfo2 = colourHead + PatternForm(ci, QStringLiteral("0.00"));
        }
    }

    // Coefficient k: one comparison star with the empirical curve, or two stars.
    const float M = float(LeadingNumber(now.m));
    const double Zt = LeadingNumber(now.z);
    const double Z1 = wholeOrEmpty(atStart.z), Z2 = wholeOrEmpty(atStart.z2);
    const bool oneStar = atStart.m2.isEmpty() || Z2 == -1000.0 || Z2 == Z1;
    Value k;
    if (oneStar) {
        if (!intensity.ok() && intensity.note == NoBackground)
            k.note = intensity.note;
        else if (intensity.v >= 20000)
            k.v = 5;
        else
            k.v = 5 * std::cos((60 - 3 * intensity.v / 1000) / sky::DegPerRad);
    } else {
        const std::optional<double> zn1 = plainNumber(now.z), zn2 = plainNumber(now.z2);
        if (!zn1)
            k.note = NotNumber1;
        else if (!zn2)
            k.note = NotNumber2;
        else if (*zn1 == 0)
            k.note = ZeroStar1;
        else if (*zn2 == 0)
            k.note = ZeroStar2;
        else {
            double ratio = *zn1 / *zn2;
            const double decades = SafeLog10(ratio);
            if (decades == 0)
                k.note = EqualLights;
            else
                k.v = (LeadingNumber(now.m2) - LeadingNumber(now.m)) / decades;
        }
    }
    if (k.ok()) k.v = float(k.v);
    f.txtKb = k.ok() ? GeneralForm(float(k.v)) : k.note;

    // Magnitude against the bright star, only when its light is a number.
    if (plainNumber(now.z)) {
        f.Label7 = oneStar ? QStringLiteral(" относительный блеск по отношению к 1 звезде ")
                           : QStringLiteral(" блеск по отношению к двум звёздам ");
        if (k.ok()) f.txtKb = (k.v >= 0 ? QStringLiteral(" ") : QString()) + GeneralForm(float(k.v));
        if (!intensity.ok())
            f.lblZV = intensity.note;
        else if (!k.ok())
            f.lblZV = k.note;
        else if (Zt == 0)
            f.lblZV = ZeroStar1;
        else {
            double ratio = intensity.v / Zt;
            const float m = float(double(M) - k.v * SafeLog10(ratio));
            f.lblZV = PatternForm(m, QStringLiteral("0.00"));
            f.magnitude = m;
        }
    }
    return f;
}

} // namespace vorlan
