#include "stars/stardetect.h"
#include "stars/starmatch.h"
#include "support/starsky.h"

#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

Q_DECLARE_METATYPE(vorlan::StarList)

namespace {

const QSize Field(1600, 1200);

/// The sky both pictures see: stars over everything either picture shows, about 350 to the
/// megapixel, as a few minutes' exposure with a small telescope gives.
QVector<SkyStar> skyFor(const SimilarityTransform& toSky, quint32 seed) {
    QRectF region(QPointF(0, 0), QSizeF(Field));
    for (QPointF c : {QPointF(0, 0), QPointF(Field.width(), 0), QPointF(0, Field.height()),
                      QPointF(Field.width(), Field.height())})
        region |= QRectF(toSky.map(c), QSizeF(1, 1));
    return randomSky(region, int(region.width() * region.height() * 350e-6), seed);
}

/// Picture k of sky through toSky: hot pixels, a trail (even seeds), and 30 % of its stars its own.
SkyPicture pictureOf(const QVector<SkyStar>& sky, const SimilarityTransform& toSky, quint32 seed,
                     bool colour = false) {
    return viewSky(sky, Field, toSky, seed,
                   {.colour = colour, .ownFraction = 0.3, .hotPixels = 20, .trail = seed % 2 == 0});
}

} // namespace

class TestStarMatch : public QObject {
    Q_OBJECT
  private slots:
    // Picture 2 shifted, turned, scaled or mirrored against picture 1: the transform found
    // carries picture 2's field onto picture 1 within 0.05 pixel RMS and turns by the true angle
    // within 0.01 degree.
    void recoversTransform_data() {
        QTest::addColumn<double>("turn");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<QPointF>("shift");
        QTest::addColumn<bool>("colour");
        QTest::newRow("same pointing") << 0.0 << 1.0 << false << QPointF(0, 0) << false;
        QTest::newRow("shift 500, -500") << 0.0 << 1.0 << false << QPointF(500, -500) << false;
        QTest::newRow("shift -430, 350, colour") << 0.0 << 1.0 << false << QPointF(-430, 350) << true;
        QTest::newRow("turn 0.5") << 0.5 << 1.0 << false << QPointF(-200, 120) << false;
        QTest::newRow("turn 37") << 37.0 << 1.0 << false << QPointF(60, -35) << false;
        QTest::newRow("turn 90") << 90.0 << 1.0 << false << QPointF(-15, 240) << false;
        QTest::newRow("turn 180") << 180.0 << 1.0 << false << QPointF(310, 20) << false;
        QTest::newRow("turn -123") << -123.0 << 1.0 << false << QPointF(-80, -90) << false;
        QTest::newRow("scale 0.7") << 12.0 << 0.7 << false << QPointF(100, 50) << false;
        QTest::newRow("scale 1.4") << -8.0 << 1.4 << false << QPointF(-120, 70) << false;
        QTest::newRow("mirrored") << 20.0 << 1.0 << true << QPointF(40, -60) << false;
        QTest::newRow("mirrored, turn 180, scale 1.2") << 180.0 << 1.2 << true << QPointF(0, 0) << true;
    }
    void recoversTransform() {
        QFETCH(double, turn);
        QFETCH(double, scale);
        QFETCH(bool, mirrored);
        QFETCH(QPointF, shift);
        QFETCH(bool, colour);
        const SimilarityTransform truth =
            skyTransform(QSizeF(Field), QSizeF(Field), turn, scale, mirrored, shift);
        const QVector<SkyStar> sky = skyFor(truth, 21);
        const StarList one = detectStars(pictureOf(sky, SimilarityTransform(), 1, colour).image);
        const StarList two = detectStars(pictureOf(sky, truth, 2, colour).image);
        const Outcome<StarMatch> matched = matchStars(one, two);
        QVERIFY2(matched.ok(), qPrintable(matched.reason()));
        const StarMatch& m = matched.value();
        QCOMPARE(m.transform.mirrored, mirrored);
        QCOMPARE(m.pairs.size(), m.matched);
        QVERIFY2(m.matched >= 100, qPrintable(QString::number(m.matched)));
        // Over a grid of picture 2's field: where the found and the true transform put each point.
        double sum2 = 0;
        int n = 0;
        for (int i = 0; i <= 10; ++i)
            for (int j = 0; j <= 10; ++j) {
                const QPointF p(Field.width() * i / 10.0, Field.height() * j / 10.0);
                const QPointF d = m.transform.map(p) - truth.map(p);
                sum2 += d.x() * d.x() + d.y() * d.y();
                ++n;
            }
        const double rms = std::sqrt(sum2 / n);
        const double turnError = std::remainder(m.transform.turnDegrees() - turn, 360.0);
        qInfo("matched %d, residual %.3f px; over the field %.4f px RMS, turn off by %.5f deg", m.matched,
              m.rmsPixels, rms, turnError);
        QVERIFY2(rms <= 0.05, qPrintable(QString::number(rms)));
        QVERIFY(std::abs(turnError) <= 0.01);
        QVERIFY(m.rmsPixels > 0 && m.rmsPixels < 0.3);
    }

    // Pictures that cannot be registered are refused with the reason, and no transform.
    void refuses_data() {
        QTest::addColumn<StarList>("one");
        QTest::addColumn<StarList>("two");
        QTest::addColumn<QString>("reason");
        const StarList sky1 =
            detectStars(pictureOf(skyFor(SimilarityTransform(), 21), SimilarityTransform(), 1).image);
        const StarList sky2 =
            detectStars(pictureOf(skyFor(SimilarityTransform(), 22), SimilarityTransform(), 2).image);
        QTest::newRow("another field")
            << sky1 << sky2 << "Снимок 2 показывает другой участок неба: общих звёзд не найдено.";
        StarList few = sky1;
        few.stars.resize(4);
        for (Star& s : few.stars)
            s.flags = 0;
        QTest::newRow("four stars on picture 2")
            << sky1 << few << "На снимке 2 найдено слишком мало звёзд: 4 (нужно не меньше 6).";
        // The brightest 40 of two fields, five of them in common, the rest of picture 2 elsewhere.
        StarList sparse = sky1, shared = sky2;
        sparse.stars.resize(40);
        shared.stars.resize(40);
        for (int k = 0; k < 5; ++k)
            shared.stars[7 * k] = sparse.stars[k];
        QTest::newRow("five stars in common")
            << sparse << shared << "Совпало слишком мало звёзд: 5 (нужно не меньше 6).";
    }
    void refuses() {
        QFETCH(StarList, one);
        QFETCH(StarList, two);
        QFETCH(QString, reason);
        const Outcome<StarMatch> m = matchStars(one, two);
        QVERIFY(!m.ok());
        QCOMPARE(m.reason(), reason);
        QCOMPARE(m.failure().number, int(InvalidValue));
    }
};

QTEST_GUILESS_MAIN(TestStarMatch)
#include "tst_starmatch.moc"
