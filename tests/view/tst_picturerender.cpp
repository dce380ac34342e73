// The two colour kernels of a zoomed-out picture, the SSE2 one and the plain one that processors
// without SSE2 run: the same pixels at every scale and offset, and both the true area mean.

#include "support/datatable.h"
#include "view/picturerender.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Noise in every channel, alpha included, so that no channel can stand in for another.
QImage noise(QSize size, QImage::Format format) {
    QImage img(size, QImage::Format_ARGB32);
    QRandomGenerator rng(size.width() * 7 + size.height());
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = rng.generate();
    }
    // Bytes as held: a premultiplied picture's colour bytes never exceed its alpha.
    return format == QImage::Format_ARGB32_Premultiplied ? img.convertToFormat(format)
           : img.reinterpretAsFormat(format)             ? img
                                                         : QImage();
}

/// The mean of channel ch (0 blue, 1 green, 2 red) over the picture area that target pixel
/// (tx, ty) covers, each picture pixel weighted by the share covered, in doubles.
double areaMean(const QImage& picture, const Placement& at, int tx, int ty, int ch) {
    const double u0 = (tx - at.originX) / at.scale, u1 = (tx + 1 - at.originX) / at.scale;
    const double v0 = (ty - at.originY) / at.scale, v1 = (ty + 1 - at.originY) / at.scale;
    double sum = 0;
    for (int v = int(std::floor(v0)); v < v1; ++v)
        for (int u = int(std::floor(u0)); u < u1; ++u) {
            const double w = (std::min(u1, u + 1.0) - std::max(u0, double(u))) *
                             (std::min(v1, v + 1.0) - std::max(v0, double(v)));
            sum += w * reinterpret_cast<const uchar*>(picture.constScanLine(v))[4 * u + ch];
        }
    return sum / ((u1 - u0) * (v1 - v0));
}

} // namespace

class TestPictureRender : public QObject {
    Q_OBJECT

  private slots:
    void bothColourKernelsGiveTheAreaMean_data() {
        DataTable<int, QSize, double, QPointF> table("format", "picture", "scale",
                                                     "origin"); // origin: target pixels
        for (const auto& [name, format] : {std::pair{"RGB32", QImage::Format_RGB32},
                                           {"ARGB32", QImage::Format_ARGB32},
                                           {"premultiplied", QImage::Format_ARGB32_Premultiplied}}) {
            const QString n(name);
            table.row(qPrintable(n + ", half, whole pixels"), format, {203, 151}, 0.5, {0, 0})
                .row(qPrintable(n + ", 0.37, quarter pixels"), format, {203, 151}, 0.37, {0.25, -0.75})
                .row(qPrintable(n + ", 0.999, a third off"), format, {97, 61}, 0.999, {-0.33, 0.66})
                .row(qPrintable(n + ", a tenth, edges repeated"), format, {640, 480}, 0.1, {-20.5, 7.25})
                .row(qPrintable(n + ", 1, a third off"), format, {97, 61}, 1.0, {0.33, -0.66})
                .row(qPrintable(n + ", 2, quarter pixels"), format, {97, 61}, 2.0, {-0.25, 0.75});
        }
        // So far out that a target pixel's columns overflow 32-bit sums and add up as floats.
        table.row("RGB32, 1/300, float sums", QImage::Format_RGB32, {2400, 1500}, 1.0 / 300, {0.4, 0.1});
    }
    void bothColourKernelsGiveTheAreaMean() {
        QFETCH(int, format);
        QFETCH(QSize, picture);
        QFETCH(double, scale);
        QFETCH(QPointF, origin);
        const QImage src = noise(picture, QImage::Format(format));
        QVERIFY(!src.isNull());
        const Placement at{origin.x(), origin.y(), scale};
        const QRect area(0, 0, int(std::ceil(picture.width() * scale + std::abs(origin.x()))) + 3,
                         int(std::ceil(picture.height() * scale + std::abs(origin.y()))) + 3);
        QImage fastest(area.size(), QImage::Format_RGB32), plain(area.size(), QImage::Format_RGB32);
        fastest.fill(0);
        plain.fill(0);
        renderPicture(src, at, fastest, area, Sampling::AreaAverage, ColourKernel::Fastest);
        renderPicture(src, at, plain, area, Sampling::AreaAverage, ColourKernel::Plain);
        QCOMPARE(fastest, plain);

        int inside = 0;
        double worst = 0;
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const QRgb a = fastest.pixel(x, y);
                QCOMPARE(qAlpha(a), 255);
                // Where the pixel lies wholly on the picture, the channels are its area mean.
                const QRectF covered((x - at.originX) / scale, (y - at.originY) / scale, 1 / scale,
                                     1 / scale);
                if (!QRectF(src.rect()).contains(covered)) continue;
                ++inside;
                for (int ch = 0; ch < 3; ++ch)
                    worst =
                        std::max(worst, std::abs(int((a >> (8 * ch)) & 0xff) - areaMean(src, at, x, y, ch)));
            }
        QVERIFY(inside >= 4);
        QCOMPARE_LE(worst, 1.0);
    }

    // A tone map changes what is drawn and nothing else: every pixel is the map of the pixel the
    // plain drawing shows, whatever the scale, sampling and kind of picture.
    void aToneMapDrawsTheMapOfThePlainDrawing_data() {
        // lines: a, b of red, green, blue; ceiling: the highest level drawn
        DataTable<int, double, int, QVector<double>, int> table("format", "scale", "sampling", "lines",
                                                                "ceiling");
        // Lines the four-pixel steps take, one steep enough to leave fewer bits of fraction, one
        // capped, and one falling line that only the tables take.
        const std::tuple<const char*, QVector<double>, int> maps[] = {
            {"fitted", {0.55, -13.9, 1.8, 25, 0.7, 3.2}, 255},
            {"steep", {20, -700, 1, 0.4, 0.01, 128}, 255},
            {"capped", {0.55, -13.9, 1.8, 25, 0.7, 3.2}, 142},
            {"inverted blue", {0.55, -13.9, 1.8, 25, -1, 255}, 200}};
        const std::tuple<const char*, double, Sampling> drawings[] = {
            {"averaged at 0.37", 0.37, Sampling::AreaAverage},
            {"1:1", 1.0, Sampling::AreaAverage},
            {"enlarged 2.5", 2.5, Sampling::AreaAverage},
            {"nearest at 0.37", 0.37, Sampling::Nearest}};
        for (auto [name, format] :
             {std::pair{"grey", QImage::Format_Grayscale8}, {"colour", QImage::Format_RGB32}})
            for (const auto& [map, lines, ceiling] : maps)
                for (const auto& [drawing, scale, sampling] : drawings)
                    table.row(qPrintable(QString("%1, %2, %3").arg(name, map, drawing)), format, scale,
                              int(sampling), lines, ceiling);
    }
    void aToneMapDrawsTheMapOfThePlainDrawing() {
        QFETCH(int, format);
        QFETCH(double, scale);
        QFETCH(int, sampling);
        QFETCH(QVector<double>, lines);
        QFETCH(int, ceiling);
        const QImage src =
            noise(QSize(157, 93), QImage::Format_RGB32).convertToFormat(QImage::Format(format));
        const ToneMap tone(
            {ToneLine{lines[0], lines[1]}, ToneLine{lines[2], lines[3]}, ToneLine{lines[4], lines[5]}},
            {ceiling, ceiling, ceiling});
        QVERIFY(!tone.isIdentity() && ToneMap().isIdentity());
        const Placement at{0.3, -0.6, scale};
        // 125 = 15 x 8 + 4 + 1: a row passes the eight-pixel, the four-pixel and the one-pixel steps.
        const QRect area(0, 0, 125, 80);
        QImage plain(area.size(), QImage::Format_RGB32), mapped(area.size(), QImage::Format_RGB32);
        renderPicture(src, at, plain, area, Sampling(sampling));
        renderPicture(src, at, mapped, area, Sampling(sampling), ColourKernel::Fastest, &tone);
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x)
                plain.setPixel(x, y, tone.colour(plain.pixel(x, y)));
        QCOMPARE(mapped, plain);
        // Each table entry is the line's value rounded to a nearest level and clipped (a steep
        // line leaves fewer bits of fraction: a value near a half may round either way).
        double worst = 0;
        for (int ch = 0; ch < 3; ++ch)
            for (int v = 0; v < 256; ++v)
                worst = std::max(
                    worst, std::abs(tone.level(ch, v) -
                                    std::clamp(lines[2 * ch] * v + lines[2 * ch + 1], 0.0, double(ceiling))));
        QCOMPARE_LT(worst, 0.6);
    }
};

QTEST_GUILESS_MAIN(TestPictureRender)
#include "tst_picturerender.moc"
