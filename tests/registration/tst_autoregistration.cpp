// Automatic registration without a window: the resampled turn, and a whole run on a generated
// mirrored field.

#include "registration/autoregistration.h"
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

    // A whole run on a mirrored colour picture: registered, turned into a colour copy of its own
    // box, said to be mirrored, its points on picture 1's sky stars.
    void registersMirroredColourPicture() {
        const QSize size(640, 480);
        const SimilarityTransform truth = skyTransform(QSizeF(size), QSizeF(size), 0, 1, true, {30, -20});
        const QVector<SkyStar> sky = randomSky(QRectF(-200, -200, 1040, 880), 260, 5);
        const SkyView view{.colour = true, .ownFraction = 0.2, .hotPixels = 10};
        const QImage one = viewSky(sky, size, {}, 1, view).image;
        const QImage two = viewSky(sky, size, truth, 2, view).image;

        const AutoRegistration r = registerOnPicture1(one, {{2, two}});
        QVERIFY(!r.stopped);
        QCOMPARE(r.pictures.size(), 1);
        const RegisteredPicture& p2 = r.pictures[0];
        QVERIFY2(p2.match.ok, qPrintable(p2.match.reason));
        QVERIFY(p2.match.transform.mirrored);
        QCOMPARE(p2.turned.format(), QImage::Format_RGB32);
        QCOMPARE(p2.turned.size(), pictureTurn(p2.match.transform, two.size()).size);
        QVERIFY(registrationSummary(2, p2.match).contains(", зеркально, "));
        for (int i = 0; i < 2; ++i)
            QVERIFY(QLineF(truth.map(p2.points[i]), r.points[i]).length() < 0.1);
    }

    // Too few stars to match: the transform the pictures' WCSs imply registers picture 2.
    void sparseFieldRegisteredThroughTheSky() {
        const QSize size(640, 480);
        const SimilarityTransform truth = skyTransform(QSizeF(size), QSizeF(size), 40, 1, false, {30, -20});
        const QVector<SkyStar> sky = randomSky(QRectF(-200, -200, 1040, 880), 20, 5);
        const SkyView view{.ownFraction = 0.2, .hotPixels = 10};
        const QImage one = viewSky(sky, size, {}, 1, view).image;
        const QImage two = viewSky(sky, size, truth, 2, view).image;
        QVERIFY(!registerOnPicture1(one, {{2, two}}).pictures[0].match.ok);
        const AutoRegistration r = registerOnPicture1(one, {{2, two}}, nullptr, {truth});
        const RegisteredPicture& p2 = r.pictures[0];
        QVERIFY2(p2.match.ok, qPrintable(p2.match.reason));
        for (int i = 0; i < 2; ++i)
            QVERIFY(QLineF(truth.map(p2.points[i]), r.points[i]).length() < 0.1);
    }
};

QTEST_GUILESS_MAIN(TestAutoRegistration)
#include "tst_autoregistration.moc"
