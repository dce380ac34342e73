#include "common/vorlanerror.h"
#include "shell/sharedstate.h"
#include "sky/fieldhelpers.h"
#include "sky/skymath.h"
#include "sky/skytext.h"

#include <QLocale>
#include <QtTest>
#include <cmath>

using namespace vorlan;

namespace {

constexpr double Deg = 57.2957795130823;

// QCOMPARE compares doubles fuzzily (1e-12), which would let the full-precision π pass for the
// program's 15-digit one; these results must match to the bit.
#define COMPARE_EXACT(actual, expected)                                                                     \
    QVERIFY2((actual) == (expected), qPrintable(QStringLiteral("%1 != %2")                                    \
                                                    .arg(double(actual), 0, 'g', 17)                          \
                                                    .arg(double(expected), 0, 'g', 17)))

/// Radians of hours and minutes of time.
double hoursToRad(double h, double m) { return (h * 15 + m / 4) / Deg; }

} // namespace

class TestSkyMath : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void directionAngle_data() {
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        QTest::newRow("up") << 1.0 << 0.0 << 1.570796326794895;
        QTest::newRow("down") << -1.0 << 0.0 << 4.712388980384685;
        QTest::newRow("left") << 0.0 << -1.0 << 3.14159265358979;
        QTest::newRow("right-down") << -1.0 << 1.0 << 6.28318530717958 - std::atan(1.0);
        QTest::newRow("left-up") << 1.0 << -1.0 << 3.14159265358979 - std::atan(1.0);
        QTest::newRow("left-down") << -1.0 << -1.0 << 3.14159265358979 + std::atan(1.0);
        QTest::newRow("right") << 0.0 << 2.0 << 0.0;
    }
    void directionAngle() {
        QFETCH(double, y);
        QFETCH(double, x);
        QFETCH(double, expected);
        double a = 123;
        DirectionAngle(y, x, a);
        COMPARE_EXACT(a, expected);
    }

    void directionAngleOfZeroVectorKeepsOutput() {
        double a = 0.75;
        DirectionAngle(0, 0, a);
        QCOMPARE(a, 0.75);
    }

    void normalizeToRadians_data() {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<double>("expectedDegrees");
        QTest::newRow("370") << 370.0 << 10.0;
        QTest::newRow("-10") << -10.0 << 350.0;
        QTest::newRow("-370") << -370.0 << 350.0;
        QTest::newRow("360") << 360.0 << 0.0;
        QTest::newRow("720") << 720.0 << 0.0;
        QTest::newRow("-720") << -720.0 << 0.0;
        QTest::newRow("359.5") << 359.5 << 359.5;
        QTest::newRow("far") << 3600000010.0 << 10.0;
    }
    void normalizeToRadians() {
        QFETCH(double, degrees);
        QFETCH(double, expectedDegrees);
        const double r = NormalizeToRadians(degrees);
        COMPARE_EXACT(r, expectedDegrees / Deg);
    }

    void normalizeRejectsNonFinite() {
        QVERIFY_THROWS_EXCEPTION(VorlanError, NormalizeToRadians(std::numeric_limits<double>::infinity()));
    }

    void arcSinArcCos_data() {
        QTest::addColumn<bool>("cosine");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        QTest::newRow("asin 1.0000001") << false << 1.0000001 << 1.570796326794895;
        QTest::newRow("asin -1") << false << -1.0 << -1.570796326794895;
        QTest::newRow("asin 0.5") << false << 0.5 << std::asin(0.5);
        QTest::newRow("acos -1") << true << -1.0 << 3.14159265358979;
        QTest::newRow("acos 1.5") << true << 1.5 << 0.0;
        QTest::newRow("acos 0 uses its own pi/2") << true << 0.0 << 1.570796326795;
        QTest::newRow("acos 0.5") << true << 0.5 << 1.570796326795 - std::atan(0.5 / std::sqrt(0.75));
    }
    void arcSinArcCos() {
        QFETCH(bool, cosine);
        QFETCH(double, x);
        QFETCH(double, expected);
        COMPARE_EXACT(cosine ? ArcCos(x) : ArcSin(x), expected);
    }

    void angularDistance_data() {
        QTest::addColumn<float>("lonA");
        QTest::addColumn<float>("lonB");
        QTest::addColumn<float>("latA");
        QTest::addColumn<float>("latB");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("tolerance");
        // Identical positions: the float cosine is exactly 1 and the float arc sine lies above
        // the program's pi/2, so the distance comes out slightly negative.
        QTest::newRow("identical") << 1.0f << 1.0f << 0.3f << 0.3f << -4.37e-8 << 0.01e-8;
        QTest::newRow("along equator") << 0.0f << 0.5f << 0.0f << 0.0f << 0.5 << 2e-7;
        QTest::newRow("pole to equator") << 0.0f << 2.0f << 1.5707964f << 0.0f << 1.5707963 << 2e-7;
        QTest::newRow("across RA 0") << 6.2f << 0.1f << 0.2f << 0.2f
                                     << std::acos(std::sin(0.2) * std::sin(0.2) +
                                                  std::cos(0.2) * std::cos(0.2) * std::cos(0.1 - 6.2))
                                     << 3e-4;
    }
    void angularDistance() {
        QFETCH(float, lonA);
        QFETCH(float, lonB);
        QFETCH(float, latA);
        QFETCH(float, latB);
        QFETCH(double, expected);
        QFETCH(double, tolerance);
        const float d = AngularDistance(lonA, lonB, latA, latB);
        QVERIFY2(std::fabs(d - expected) <= tolerance, qPrintable(QString::number(d, 'g', 10)));
        QCOMPARE(AngularDistance(lonB, lonA, latB, latA), d);
    }

    void greatCirclePole_data() {
        QTest::addColumn<float>("lon1");
        QTest::addColumn<float>("lat1");
        QTest::addColumn<float>("lon2");
        QTest::addColumn<float>("lat2");
        QTest::newRow("Pleiades pair") << 0.9812f << 0.4207f << 0.9999f << 0.4197f;
        QTest::newRow("across RA 0") << 6.2f << -0.3f << 0.2f << 0.1f;
        QTest::newRow("far apart") << 0.3f << 0.9f << 2.5f << -0.4f;
    }
    // The pole is 90° from both stars and lies in the northern hemisphere.
    void greatCirclePole() {
        QFETCH(float, lon1);
        QFETCH(float, lat1);
        QFETCH(float, lon2);
        QFETCH(float, lat2);
        const SkyPoint p = GreatCirclePole(lon1, lat1, lon2, lat2);
        QVERIFY(p.lat > 0 && p.lat <= 1.5707964f);
        QVERIFY(p.lon >= 0 && p.lon < 6.2831855f);
        QVERIFY(std::fabs(AngularDistance(p.lon, lon1, p.lat, lat1) - 1.5707963) < 1e-5);
        QVERIFY(std::fabs(AngularDistance(p.lon, lon2, p.lat, lat2) - 1.5707963) < 1e-5);
    }

    void greatCirclePoleOnEquatorPair() {
        const SkyPoint p = GreatCirclePole(0.5f, 0.0f, 1.0f, 0.0f);
        COMPARE_EXACT(p.lat, float(1.570796326794895));
    }

    void greatCirclePoleDegenerate_data() {
        QTest::addColumn<float>("lon1");
        QTest::addColumn<float>("lat1");
        QTest::addColumn<float>("lon2");
        QTest::addColumn<float>("lat2");
        QTest::newRow("identical stars") << 1.0f << 0.4f << 1.0f << 0.4f;
        QTest::newRow("all zero") << 0.0f << 0.0f << 0.0f << 0.0f;
        QTest::newRow("same star twice") << 0.5f << -0.2f << 0.5f << -0.2f;
        QTest::newRow("first at north pole") << 2.0f << float(1.570796326794895) << 0.3f << 0.2f;
        QTest::newRow("second at south pole") << 0.3f << 0.2f << 2.0f << float(-1.570796326794895);
    }
    void greatCirclePoleDegenerate() {
        QFETCH(float, lon1);
        QFETCH(float, lat1);
        QFETCH(float, lon2);
        QFETCH(float, lat2);
        QVERIFY_THROWS_EXCEPTION(VorlanError, GreatCirclePole(lon1, lat1, lon2, lat2));
    }

    void convertPoleFrameRoundTrip_data() {
        QTest::addColumn<float>("lon");
        QTest::addColumn<float>("lat");
        QTest::addColumn<float>("poleLon");
        QTest::addColumn<float>("poleLat");
        QTest::newRow("Pleiades") << 0.99f << 0.42f << 2.55f << 1.1f;
        QTest::newRow("near RA 0") << 0.01f << -0.5f << 4.0f << 0.3f;
        QTest::newRow("near RA 24h") << 6.27f << 0.7f << 1.0f << 0.8f;
        QTest::newRow("southern") << 3.0f << -1.2f << 5.5f << 0.05f;
    }
    void convertPoleFrameRoundTrip() {
        QFETCH(float, lon);
        QFETCH(float, lat);
        QFETCH(float, poleLon);
        QFETCH(float, poleLat);
        float l = 0, b = 0;
        float ra = lon, dec = lat;
        ConvertPoleFrame(ra, dec, l, b, poleLon, poleLat, 1);
        QCOMPARE(ra, lon); // mode 1 only reads the sky position
        float ra2 = -1, dec2 = -1;
        ConvertPoleFrame(ra2, dec2, l, b, poleLon, poleLat, 2);
        QVERIFY(ra2 >= 0 && ra2 <= 6.2831855f);
        QVERIFY2(std::fabs(std::remainder(double(ra2) - lon, 2 * M_PI)) < 3e-6,
                 qPrintable(QStringLiteral("%1 vs %2").arg(ra2).arg(lon)));
        QVERIFY(std::fabs(dec2 - lat) < 3e-6);
    }

    // In the frame the celestial north pole has frame longitude π/2.
    void convertPoleFrameNorthIsQuarterTurn() {
        float ra = 1.0f, dec = 0.2f, l = 0, b = 0;
        ConvertPoleFrame(ra, dec, l, b, 2.0f, 0.5f, 1);
        float ra2 = 0, dec2 = 0;
        float lPole = float(1.570796326794895), bUp = float(0.01);
        ConvertPoleFrame(ra2, dec2, lPole, bUp, 2.0f, 0.5f, 2);
        QVERIFY(dec2 > 0.5f); // moving along frame longitude π/2 from the equator goes north
    }

    void convertPoleFrameRefusesUnknownMode() {
        float ra = 0, dec = 0, l = 0, b = 0;
        QVERIFY_THROWS_EXCEPTION(VorlanError, ConvertPoleFrame(ra, dec, l, b, 0, 0, 3));
    }

    void formatters_data() {
        QTest::addColumn<double>("ra");
        QTest::addColumn<double>("dec");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << 0.0 << QStringLiteral("00h 00.0m  +00°00'");
        QTest::newRow("example") << hoursToRad(5, 34.5) << (22 + 1.0 / 60) / Deg << QStringLiteral("05h 34.5m  +22°01'");
        QTest::newRow("60.0 roll-over") << hoursToRad(23, 59.97) << -0.5 / Deg << QStringLiteral("23h 60.0m  -00°30'");
        QTest::newRow("60 roll-over") << hoursToRad(12, 0) << (10 + 59.6 / 60) / Deg << QStringLiteral("12h 00.0m  +10°60'");
        QTest::newRow("south") << hoursToRad(5, 40.75) << -(1 + 56.5 / 60) / Deg << QStringLiteral("05h 40.8m  -01°57'");
    }
    void formatters() {
        QFETCH(double, ra);
        QFETCH(double, dec);
        QFETCH(QString, text);
        QCOMPARE(SkyPositionText(ra, dec), text);
        ResetStateForTest();
        State().CoordRA = ra;
        State().CoordDec = dec;
        QCOMPARE(SkyPositionText(), text);
    }

    void formatterPieces() {
        QCOMPARE(FormatRightAscension(hoursToRad(23, 59.97)).whole, QStringLiteral("23"));
        QCOMPARE(FormatRightAscension(hoursToRad(23, 59.97)).minutes, QStringLiteral("60.0"));
        QCOMPARE(FormatDeclination(-0.5 / Deg).whole, QStringLiteral("-00"));
        QCOMPARE(FormatDeclination(-0.5 / Deg).minutes, QStringLiteral("30"));
        QLocale::setDefault(QLocale(QLocale::Russian));
        QCOMPARE(FormatRightAscension(hoursToRad(5, 34.5)).minutes, QStringLiteral("34,5"));
    }

    void numericTextFilter_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("comma") << "12,5" << "12.5";
        QTest::newRow("second sign") << "-1-2" << "-12";
        QTest::newRow("letters") << "a12b" << "a12";
        QTest::newRow("blank") << "1 2" << "12";
        QTest::newRow("slash") << "1/2" << "1/2";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("leading plus") << "+5+" << "+5";
        QTest::newRow("leading comma") << ",5" << ".5";
        QTest::newRow("cyrillic") << QStringLiteral("ф1ю2") << QStringLiteral("ф12");
        QTest::newRow("exponent dropped") << "1e5" << "15";
    }
    void numericTextFilter() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(NumericTextFilter(in), out);
    }

    void safeLog10() {
        double x = 0;
        COMPARE_EXACT(SafeLog10(x), -30.000000006683123);
        QCOMPARE(x, 1E-30);
        double negative = -5;
        SafeLog10(negative);
        QCOMPARE(negative, 1E-30);
        double hundred = 100;
        QVERIFY(std::fabs(SafeLog10(hundred) - 2) < 1e-8);
        QCOMPARE(hundred, 100.0);
    }

    void fileNamePart_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("backslash") << "C:\\a\\b.jpg" << "b.jpg";
        QTest::newRow("slash") << "d/e.bmp" << "e.bmp";
        QTest::newRow("mixed") << "C:\\x/y\\z.jpg" << "z.jpg";
        QTest::newRow("bare") << "f.jpg" << "f.jpg";
        QTest::newRow("trailing separator") << "dir/" << "";
    }
    void fileNamePart() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(FileNamePart(path), name);
    }
};

QTEST_GUILESS_MAIN(TestSkyMath)
#include "tst_skymath.moc"
