// Automatic registration without a window: the resampled turn, the reference stars, the whole
// run on generated fields.

#include "registration/autoregistration.h"
#include "stars/stardetect.h"
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
        QTest::addColumn<int>("format");
        QTest::addColumn<double>("turn");
        QTest::addColumn<bool>("mirrored");
        for (const auto& [name, format] :
             {std::pair{"grey", QImage::Format_Grayscale8}, std::pair{"colour", QImage::Format_RGB32}}) {
            QTest::addRow("%s, 25", name) << int(format) << 25.0 << false;
            QTest::addRow("%s, -123", name) << int(format) << -123.0 << false;
            QTest::addRow("%s, 90", name) << int(format) << 90.0 << false;
            QTest::addRow("%s, mirrored", name) << int(format) << 0.0 << true;
            QTest::addRow("%s, mirrored, 180", name) << int(format) << 180.0 << true;
        }
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
                const int channels = format == QImage::Format_Grayscale8 ? 1 : 3;
                for (int ch = 0; ch < channels; ++ch) {
                    const int v = ch == 0 ? qRed(got) : ch == 1 ? qGreen(got) : qBlue(got);
                    worst = std::max(worst, int(std::abs(v - plane(p, ch)) + 0.5));
                }
            }
        QVERIFY(inside > size.width() * size.height() * 9 / 10);
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    // A whole run on generated fields: picture 2 registered (turned when it is turned), picture 3
    // of another field refused with the reason; the points lie on the same two sky stars.
    void registersPicturesOnPicture1_data() {
        QTest::addColumn<double>("turn");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<bool>("colour");
        QTest::addColumn<int>("stars"); // of the sky round the field
        QTest::newRow("turned 25, scaled 1/1.1") << 25.0 << 1 / 1.1 << false << false << 260;
        QTest::newRow("turned 0.1, shifted: shown as it is") << 0.1 << 1.0 << false << true << 260;
        QTest::newRow("mirrored") << 0.0 << 1.0 << true << false << 260;
        // Too few stars to match: the transform the pictures' WCSs imply registers it.
        QTest::newRow("sparse, turned 40, through the sky") << 40.0 << 1.0 << false << false << 20;
    }
    void registersPicturesOnPicture1() {
        QFETCH(double, turn);
        QFETCH(double, scale);
        QFETCH(bool, mirrored);
        QFETCH(bool, colour);
        QFETCH(int, stars);
        const QSize size(640, 480);
        const SimilarityTransform truth =
            skyTransform(QSizeF(size), QSizeF(size), turn, scale, mirrored, {30, -20});
        const QVector<SkyStar> sky = randomSky(QRectF(-200, -200, 1040, 880), stars, 5);
        SkyView view;
        view.width = size.width();
        view.height = size.height();
        view.colour = colour;
        view.hotPixels = 10;
        view.ownFraction = 0.2;
        const QImage one = renderSky(sky, view).image;
        view.toSky = truth;
        view.fwhm = 3.0 / scale;
        view.seed = 2;
        const QImage two = renderSky(sky, view).image;
        view.toSky = SimilarityTransform();
        view.seed = 3;
        const QImage other = renderSky(randomSky(QRectF(0, 0, 640, 480), 120, 77), view).image;

        const bool sparse = stars < 100;
        const AutoRegistration r =
            registerOnPicture1(one, {{2, two}, {3, other}}, nullptr,
                               {sparse ? std::optional(truth) : std::nullopt, std::nullopt});
        QVERIFY(!r.stopped);
        QCOMPARE(r.pictures.size(), 2);
        const RegisteredPicture& p2 = r.pictures[0];
        QVERIFY2(p2.match.ok, qPrintable(p2.match.reason));
        QCOMPARE(p2.picture, 2);
        QCOMPARE(p2.match.transform.mirrored, mirrored);
        QCOMPARE(p2.turned.isNull(), !needsTurn(truth));
        if (!p2.turned.isNull()) {
            QCOMPARE(p2.turned.format(), two.format());
            QCOMPARE(p2.turned.size(), pictureTurn(p2.match.transform, two.size()).size);
        }
        QCOMPARE(registrationSummary(2, p2.match).contains(", зеркально, "), mirrored);
        // The same sky star in both pictures, bright, unsaturated, a third of the field apart and
        // away from the edges, point 1 the brighter.
        const StarList stars1 = detectStars(one);
        int rank[2];
        for (int i = 0; i < 2; ++i) {
            QVERIFY(QLineF(truth.map(p2.points[i]), r.points[i]).length() < 0.1);
            QVERIFY(QRectF(16, 16, 640 - 32, 480 - 32).contains(r.points[i]));
            QVERIFY(QRectF(16, 16, 640 - 32, 480 - 32).contains(p2.points[i]));
            const auto star = std::find_if(stars1.stars.begin(), stars1.stars.end(),
                                           [&](const Star& s) { return s.position() == r.points[i]; });
            QVERIFY(star != stars1.stars.end());
            QVERIFY(star->usable());
            rank[i] = int(star - stars1.stars.begin());
            QVERIFY(rank[i] < 30);
        }
        QVERIFY(rank[0] < rank[1]);
        QVERIFY(QLineF(r.points[0], r.points[1]).length() > size.height() / 3.0);

        const RegisteredPicture& p3 = r.pictures[1];
        QVERIFY(!p3.match.ok);
        QVERIFY(p3.turned.isNull());
        QCOMPARE(
            registrationFailure(3, p3.match),
            QStringLiteral(
                "Снимок 3 не совмещён.\nСнимок 3 показывает другой участок неба: общих звёзд не найдено."));
    }
};

QTEST_GUILESS_MAIN(TestAutoRegistration)
#include "tst_autoregistration.moc"
