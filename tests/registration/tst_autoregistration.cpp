// Automatic registration without a window: the resampled turn, and a whole run on a generated
// mirrored field.

#include "registration/autoregistration.h"
#include "support/datatable.h"
#include "support/starsky.h"

#include <QLineF>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A smooth picture whose value at continuous position (x, y) is known: bilinear sampling gives
/// a plane back exactly, so every turned pixel can be checked against it.
double plane(QPointF p, int channel) {
    return 20 + (0.25 + 0.05 * channel) * p.x() + (0.3 - 0.1 * channel) * p.y();
}

QImage planePicture(QSize size, QImage::Format format) {
    QImage img(size, format);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = img.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            auto v = [&](int c) { return int(std::lround(plane(QPointF(x + 0.5, y + 0.5), c))); };
            if (format == QImage::Format_Grayscale8)
                line[x] = uchar(v(0));
            else
                reinterpret_cast<QRgb*>(line)[x] = qRgb(v(0), v(1), v(2));
        }
    }
    return img;
}

} // namespace

class TestAutoRegistration : public QObject {
    Q_OBJECT
  private slots:
    // A picture turned (and mirrored) into picture 1's orientation: its box, its format, and at
    // every pixel the value the picture has at the place the turn carries there.
    void turnResamplesOnce_data() {
        DataTable<int, double, bool> table("format", "turn", "mirrored");
        for (const auto& [name, format] :
             {std::pair{"grey", QImage::Format_Grayscale8}, {"colour", QImage::Format_RGB32}})
            for (const auto& [turning, turn, mirrored] : {std::tuple{"25", 25.0, false},
                                                          {"-123", -123.0, false},
                                                          {"90", 90.0, false},
                                                          {"mirrored", 0.0, true},
                                                          {"mirrored, 180", 180.0, true}})
                table.row(qPrintable(QString("%1, %2").arg(name, turning)), format, turn, mirrored);
    }
    void turnResamplesOnce() {
        QFETCH(int, format);
        QFETCH(double, turn);
        QFETCH(bool, mirrored);
        const QSize size(300, 200);
        const QImage picture = planePicture(size, QImage::Format(format));
        // The registration's scale and shift play no part in the turn.
        const SimilarityTransform reg =
            skyTransform(QSizeF(size), QSizeF(500, 400), turn, 1.3, mirrored, {40, -25});
        QVERIFY(needsTurn(reg));
        const PictureTurn t = pictureTurn(reg, size);
        // The registration's turn and mirror, nothing else, with the turned box from (0, 0).
        QCOMPARE(t.toShown.scale(), 1.0);
        QCOMPARE(t.toShown.mirrored, mirrored);
        QVERIFY(std::abs(std::remainder(t.toShown.turnDegrees() - reg.turnDegrees(), 360.0)) < 1e-9);
        QRectF box;
        for (const QPointF corner : {QPointF(0, 0), QPointF(300, 0), QPointF(0, 200), QPointF(300, 200)})
            box |= QRectF(t.toShown.map(corner), QSizeF(1e-9, 1e-9));
        QVERIFY(std::abs(box.left()) < 1e-6 && std::abs(box.top()) < 1e-6);
        const double c = std::abs(std::cos(turn * M_PI / 180)), s = std::abs(std::sin(turn * M_PI / 180));
        QCOMPARE(t.size,
                 QSize(int(std::ceil(300 * c + 200 * s - 1e-6)), int(std::ceil(200 * c + 300 * s - 1e-6))));
        const QImage turned = turnPicture(picture, t);
        QCOMPARE(turned.format(), picture.format());
        QCOMPARE(turned.size(), t.size);
        const SimilarityTransform back = t.toShown.inverted();
        int inside = 0, worst = 0;
        for (int y = 0; y < turned.height(); ++y)
            for (int x = 0; x < turned.width(); ++x) {
                const QPointF p = back.map(QPointF(x + 0.5, y + 0.5));
                const QRgb got = turned.pixel(x, y);
                if (p.x() < -0.5 || p.y() < -0.5 || p.x() > size.width() + 0.5 ||
                    p.y() > size.height() + 0.5) {
                    QCOMPARE(got & 0xffffffu, 0u);
                    continue;
                }
                // Bilinear sampling follows a plane exactly between pixel centres.
                if (p.x() < 0.5 || p.y() < 0.5 || p.x() > size.width() - 0.5 || p.y() > size.height() - 0.5)
                    continue;
                ++inside;
                for (int ch = 0; ch < (format == QImage::Format_Grayscale8 ? 1 : 3); ++ch) // red, green, blue
                    worst = std::max(worst,
                                     int(std::abs(int((got >> (16 - 8 * ch)) & 0xff) - plane(p, ch)) + 0.5));
            }
        QVERIFY(inside > size.width() * size.height() * 9 / 10);
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    // A whole run: a mirrored colour picture registered, turned into a colour copy of its own box,
    // said to be mirrored; a field with too few stars to match registered through the transform the
    // pictures' WCSs imply. Either way picture 2's points lie on picture 1's sky stars.
    void registersOnPicture1_data() {
        DataTable<double, bool, int, bool>("turn", "mirrored", "stars", "throughSky")
            .row("mirrored colour picture", 0, true, 260, false)
            .row("sparse field, through the sky", 40, false, 20, true);
    }
    void registersOnPicture1() {
        QFETCH(double, turn);
        QFETCH(bool, mirrored);
        QFETCH(int, stars);
        QFETCH(bool, throughSky);
        const QSize size(640, 480);
        const SimilarityTransform truth =
            skyTransform(QSizeF(size), QSizeF(size), turn, 1, mirrored, {30, -20});
        const QVector<SkyStar> sky = randomSky(QRectF(-200, -200, 1040, 880), stars, 5);
        const SkyView view{.colour = mirrored, .ownFraction = 0.2, .hotPixels = 10};
        const QImage one = viewSky(sky, size, {}, 1, view).image;
        const QImage two = viewSky(sky, size, truth, 2, view).image;

        AutoRegistration r = registerOnPicture1(one, {{2, two}});
        if (throughSky) {
            QVERIFY(!r.pictures[0].match.ok());
            r = registerOnPicture1(one, {{2, two}}, nullptr, {truth});
        }
        QVERIFY(!r.stopped);
        QCOMPARE(r.pictures.size(), 1);
        const RegisteredPicture& p2 = r.pictures[0];
        QVERIFY2(p2.match.ok(), qPrintable(p2.match.reason()));
        QCOMPARE(p2.match.value().transform.mirrored, mirrored);
        QCOMPARE(p2.turned.format(), mirrored ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
        QCOMPARE(p2.turned.size(), pictureTurn(p2.match.value().transform, two.size()).size);
        QCOMPARE(registrationSummary(2, p2.match.value()).contains(", зеркально, "), mirrored);
        for (int i = 0; i < 2; ++i)
            QVERIFY(QLineF(truth.map(p2.points[i]), r.points[i]).length() < 0.1);
    }
};

QTEST_GUILESS_MAIN(TestAutoRegistration)
#include "tst_autoregistration.moc"
