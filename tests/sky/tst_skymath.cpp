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

double hoursToRad(double h, double m) {
    return (h * 15 + m / 4) / Deg;
}

} // namespace

// QCOMPARE compares doubles fuzzily (1e-12), which would let the full-precision π pass for the
// program's 15-digit one; these results must match to the bit.
#define COMPARE_EXACT(actual, expected)                                                                      \
    QVERIFY2(                                                                                                \
        (actual) == (expected),                                                                              \
        qPrintable(                                                                                          \
            QStringLiteral("%1 != %2").arg(double(actual), 0, 'g', 17).arg(double(expected), 0, 'g', 17)))

class TestSkyMath : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void angles_data() {
        QTest::addColumn<QString>("function");
        QTest::addColumn<double>("y"); // or the single argument
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        QTest::newRow("direction up") << "dir" << 1.0 << 0.0 << 1.570796326794895;
        QTest::newRow("direction down") << "dir" << -1.0 << 0.0 << 4.712388980384685;
        QTest::newRow("direction left") << "dir" << 0.0 << -1.0 << 3.14159265358979;
        QTest::newRow("direction right-down") << "dir" << -1.0 << 1.0 << 6.28318530717958 - std::atan(1.0);
        QTest::newRow("direction zero keeps output") << "dir" << 0.0 << 0.0 << 0.75;
        QTest::newRow("normalize 370") << "norm" << 370.0 << 0.0 << 10 / Deg;
        QTest::newRow("normalize -10") << "norm" << -10.0 << 0.0 << 350 / Deg;
        QTest::newRow("normalize -370") << "norm" << -370.0 << 0.0 << 350 / Deg;
        QTest::newRow("normalize 360") << "norm" << 360.0 << 0.0 << 0.0;
        QTest::newRow("normalize 720") << "norm" << 720.0 << 0.0 << 0.0;
        QTest::newRow("normalize far") << "norm" << 3600000010.0 << 0.0 << 10 / Deg;
        QTest::newRow("asin 1.0000001") << "asin" << 1.0000001 << 0.0 << 1.570796326794895;
        QTest::newRow("asin -1") << "asin" << -1.0 << 0.0 << -1.570796326794895;
        QTest::newRow("acos -1") << "acos" << -1.0 << 0.0 << 3.14159265358979;
        QTest::newRow("acos 0, its own pi/2") << "acos" << 0.0 << 0.0 << 1.570796326795;
        QTest::newRow("acos 0.5") << "acos" << 0.5 << 0.0
                                  << 1.570796326795 - std::atan(0.5 / std::sqrt(0.75));
        // Identical positions: the float cosine is 1 and the float arc sine lies above π/2.
        QTest::newRow("distance of identical") << "dist" << 0.3 << 1.0 << -4.3711391839451608e-08;
    }
    void angles() {
        QFETCH(QString, function);
        QFETCH(double, y);
        QFETCH(double, x);
        QFETCH(double, expected);
        double result = 0.75;
        if (function == "dir")
            DirectionAngle(y, x, result);
        else if (function == "norm")
            result = NormalizeToRadians(y);
        else if (function == "asin")
            result = ArcSin(y);
        else if (function == "acos")
            result = ArcCos(y);
        else
            result = AngularDistance(float(x), float(x), float(y), float(y));
        COMPARE_EXACT(result, expected);
    }

    void normalizeRejectsNonFinite() {
        QVERIFY_THROWS_EXCEPTION(VorlanError, NormalizeToRadians(std::numeric_limits<double>::infinity()));
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
        float ra = lon, dec = lat, l = 0, b = 0;
        ConvertPoleFrame(ra, dec, l, b, poleLon, poleLat, 1);
        float ra2 = -1, dec2 = -1;
        ConvertPoleFrame(ra2, dec2, l, b, poleLon, poleLat, 2);
        QVERIFY(ra2 >= 0 && ra2 <= 6.2831855f);
        QVERIFY2(std::fabs(std::remainder(double(ra2) - lon, 2 * M_PI)) < 3e-6 &&
                     std::fabs(dec2 - lat) < 3e-6,
                 qPrintable(QStringLiteral("%1 %2").arg(ra2).arg(dec2)));
    }

    void skyPositionText_data() {
        QTest::addColumn<bool>("russian");
        QTest::addColumn<double>("ra");
        QTest::addColumn<double>("dec");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << false << 0.0 << 0.0 << QStringLiteral("00h 00.0m  +00°00'");
        QTest::newRow("example ru") << true << hoursToRad(5, 34.5) << (22 + 1.0 / 60) / Deg
                                    << QStringLiteral("05h 34,5m  +22°01'");
        QTest::newRow("60.0 and -0°30'")
            << false << hoursToRad(23, 59.97) << -0.5 / Deg << QStringLiteral("23h 60.0m  -00°30'");
        QTest::newRow("60 arc-minutes")
            << false << hoursToRad(12, 0) << (10 + 59.6 / 60) / Deg << QStringLiteral("12h 00.0m  +10°60'");
    }
    void skyPositionText() {
        QFETCH(bool, russian);
        QFETCH(double, ra);
        QFETCH(double, dec);
        QFETCH(QString, text);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian) : QLocale::c());
        ResetStateForTest();
        State().CoordRA = ra;
        State().CoordDec = dec;
        QCOMPARE(SkyPositionText(), text);
    }

    void numericTextFilter_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("comma") << "12,5"
                               << "12.5";
        QTest::newRow("second sign") << "-1-2"
                                     << "-12";
        QTest::newRow("letters") << "a12b"
                                 << "a12";
        QTest::newRow("blank") << "1 2"
                               << "12";
        QTest::newRow("slash") << "1/2"
                               << "1/2";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("leading comma") << ",5"
                                       << ".5";
        QTest::newRow("cyrillic") << QStringLiteral("ф1ю2") << QStringLiteral("ф12");
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
        double hundred = 100;
        QVERIFY(std::fabs(SafeLog10(hundred) - 2) < 1e-8);
    }

    void fileNamePart_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("backslash") << "C:\\a\\b.jpg"
                                   << "b.jpg";
        QTest::newRow("slash") << "d/e.bmp"
                               << "e.bmp";
        QTest::newRow("mixed") << "C:\\x/y\\z.jpg"
                               << "z.jpg";
        QTest::newRow("bare") << "f.jpg"
                              << "f.jpg";
    }
    void fileNamePart() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(FileNamePart(path), name);
    }
};

QTEST_GUILESS_MAIN(TestSkyMath)
#include "tst_skymath.moc"
