// The two colour kernels of a zoomed-out picture, the SSE2 one and the plain one that processors
// without SSE2 run: the same pixels at every scale and offset, and both the true area mean.

#include "view/picturerender.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

using namespace vorlan;

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
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPointF>("origin"); // target pixels
        const std::pair<const char*, QImage::Format> formats[] = {
            {"RGB32", QImage::Format_RGB32},
            {"ARGB32", QImage::Format_ARGB32},
            {"premultiplied", QImage::Format_ARGB32_Premultiplied}};
        for (const auto& [name, format] : formats) {
            QTest::addRow("%s, half, whole pixels", name)
                << int(format) << QSize(203, 151) << 0.5 << QPointF(0, 0);
            QTest::addRow("%s, 0.37, quarter pixels", name)
                << int(format) << QSize(203, 151) << 0.37 << QPointF(0.25, -0.75);
            QTest::addRow("%s, 0.999, a third off", name)
                << int(format) << QSize(97, 61) << 0.999 << QPointF(-0.33, 0.66);
            QTest::addRow("%s, a tenth, edges repeated", name)
                << int(format) << QSize(640, 480) << 0.1 << QPointF(-20.5, 7.25);
        }
        // So far out that a target pixel's columns overflow 32-bit sums and add up as floats.
        QTest::addRow("RGB32, 1/300, float sums")
            << int(QImage::Format_RGB32) << QSize(2400, 1500) << 1.0 / 300 << QPointF(0.4, 0.1);
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

        int inside = 0;
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const QRgb a = fastest.pixel(x, y), b = plain.pixel(x, y);
                QVERIFY2(a == b,
                         qPrintable(QString("(%1, %2): %3 vs %4").arg(x).arg(y).arg(a, 8, 16).arg(b, 8, 16)));
                QCOMPARE(qAlpha(a), 255);
                // Where the pixel lies wholly on the picture, the channels are its area mean.
                const QRectF covered((x - at.originX) / scale, (y - at.originY) / scale, 1 / scale,
                                     1 / scale);
                if (!QRectF(src.rect()).contains(covered)) continue;
                ++inside;
                for (int ch = 0; ch < 3; ++ch) {
                    const double mean = areaMean(src, at, x, y, ch);
                    const int shown = int((a >> (8 * ch)) & 0xff);
                    QVERIFY2(std::abs(shown - mean) <= 1.0,
                             qPrintable(QString("(%1, %2) channel %3: %4 vs %5")
                                            .arg(x)
                                            .arg(y)
                                            .arg(ch)
                                            .arg(shown)
                                            .arg(mean)));
                }
            }
        QVERIFY(inside >= 4);
    }
};

QTEST_GUILESS_MAIN(TestPictureRender)
#include "tst_picturerender.moc"
