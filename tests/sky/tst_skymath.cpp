#include "common/vorlanerror.h"
#include "shell/sharedstate.h"
#include "sky/fieldhelpers.h"
#include "sky/skymath.h"
#include "sky/skytext.h"
#include "support/datatable.h"

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
        // y: or the single argument
        test::DataTable<QString, double, double, double>("function", "y", "x", "expected")
            .row("direction up", "dir", 1.0, 0.0, 1.570796326794895)
            .row("direction down", "dir", -1.0, 0.0, 4.712388980384685)
            .row("direction left", "dir", 0.0, -1.0, 3.14159265358979)
            .row("direction right-down", "dir", -1.0, 1.0, 6.28318530717958 - std::atan(1.0))
            .row("direction zero keeps output", "dir", 0.0, 0.0, 0.75)
            .row("normalize 370", "norm", 370.0, 0.0, 10 / Deg)
            .row("normalize -10", "norm", -10.0, 0.0, 350 / Deg)
            .row("normalize -370", "norm", -370.0, 0.0, 350 / Deg)
            .row("normalize 360", "norm", 360.0, 0.0, 0.0)
            .row("normalize 720", "norm", 720.0, 0.0, 0.0)
            .row("normalize far", "norm", 3600000010.0, 0.0, 10 / Deg)
            .row("asin 1.0000001", "asin", 1.0000001, 0.0, 1.570796326794895)
            .row("asin -1", "asin", -1.0, 0.0, -1.570796326794895)
            .row("acos -1", "acos", -1.0, 0.0, 3.14159265358979)
            .row("acos 0, its own pi/2", "acos", 0.0, 0.0, 1.570796326795)
            .row("acos 0.5", "acos", 0.5, 0.0, 1.570796326795 - std::atan(0.5 / std::sqrt(0.75)))
            // Identical positions: the float cosine is 1 and the float arc sine lies above π/2.
            .row("distance of identical", "dist", 0.3, 1.0, -4.3711391839451608e-08);
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

    // The sines and cosines run in double; only the values the helpers store are floats.
    // Expected results from an independent double-precision script of the same steps.
    void sphericalHelpersComputeInDouble_data() {
        test::DataTable<QString, QVector<float>, float, float>("function", "in", "out1", "out2")
            .row("distance 12'", "dist", {1.48f, 1.483f, 0.11f, 0.112f}, 0.00358815584f, 0.0f)
            .row("distance 12' south", "dist", {5.19f, 5.193f, -0.06f, -0.058f}, 0.00360472593f, 0.0f)
            .row("distance southern", "dist", {5.7f, 5.75f, -1.2f, -1.19f}, 0.0208968688f, 0.0f)
            .row("distance 1'", "dist", {0.3f, 0.3004f, 1.0f, 1.0003f}, 0.000345305598f, 0.0f)
            .row("pole", "pole", {0.98f, 0.4230f, 0.99f, 0.4240f}, 4.38742447f, 1.1342535f)
            .row("pole of an hour circle", "pole", {1.4402f, 0.19f, 1.4402f, 0.1920f}, 6.15258837f,
                 1.83433144e-06f)
            .row("pole southern", "pole", {4.0f, -0.7f, 4.3f, -0.5f}, 3.19596958f, 0.689037919f)
            .row("into frame", "frame1", {1.0f, 0.4f, 0.2f, 0.7f}, 6.11004353f, 0.835566461f)
            .row("into frame near its pole", "frame1", {3.94f, 0.96f, 3.24f, 1.11f}, 6.20583105f, 1.19116306f)
            .row("into frame southern", "frame1", {3.0f, -1.2f, 5.5f, 0.05f}, 4.48001051f, -0.343219221f)
            .row("out of frame", "frame2", {1.2f, 0.01f, 0.2f, 0.7f}, 2.79292202f, 0.802749932f)
            .row("out of frame, far south", "frame2", {5.45f, -1.05f, 0.84f, 0.33f}, 3.5363853f,
                 -0.680850565f)
            .row("out of frame southern", "frame2", {2.5f, -0.3f, 5.5f, 0.05f}, 3.5290525f, 0.589875877f);
    }
    void sphericalHelpersComputeInDouble() {
        QFETCH(QString, function);
        QFETCH(QVector<float>, in);
        QFETCH(float, out1);
        QFETCH(float, out2);
        float r1 = 0, r2 = 0;
        if (function == "dist") {
            r1 = AngularDistance(in[0], in[1], in[2], in[3]);
        } else if (function == "pole") {
            const SkyPoint p = GreatCirclePole(in[0], in[1], in[2], in[3]);
            r1 = p.lon, r2 = p.lat;
        } else if (function == "frame1") {
            float lon = in[0], lat = in[1];
            ConvertPoleFrame(lon, lat, r1, r2, in[2], in[3], 1);
        } else {
            float l = in[0], b = in[1];
            ConvertPoleFrame(r1, r2, l, b, in[2], in[3], 2);
        }
        COMPARE_EXACT(r1, out1);
        COMPARE_EXACT(r2, out2);
    }

    void convertPoleFrameRoundTrip_data() {
        test::DataTable<float, float, float, float>("lon", "lat", "poleLon", "poleLat")
            .row("Pleiades", 0.99f, 0.42f, 2.55f, 1.1f)
            .row("near RA 0", 0.01f, -0.5f, 4.0f, 0.3f)
            .row("near RA 24h", 6.27f, 0.7f, 1.0f, 0.8f)
            .row("southern", 3.0f, -1.2f, 5.5f, 0.05f);
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
        test::DataTable<bool, double, double, QString>("russian", "ra", "dec", "text")
            .row("zero", false, 0.0, 0.0, QStringLiteral("00h 00.0m  +00°00'"))
            .row("example ru", true, hoursToRad(5, 34.5), (22 + 1.0 / 60) / Deg,
                 QStringLiteral("05h 34,5m  +22°01'"))
            // Minutes that round to 60 carry into the hours and degrees; 24h is 0h.
            .row("carry past 24h and -0°30'", false, hoursToRad(23, 59.97), -0.5 / Deg,
                 QStringLiteral("00h 00.0m  -00°30'"))
            .row("carry into the hour ru", true, hoursToRad(5, 59.96), (10 + 59.6 / 60) / Deg,
                 QStringLiteral("06h 00,0m  +11°00'"))
            .row("carry into southern degrees", false, hoursToRad(12, 0), -(0 + 59.7 / 60) / Deg,
                 QStringLiteral("12h 00.0m  -01°00'"))
            .row("just below the carry", false, hoursToRad(5, 59.94), (10 + 59.4 / 60) / Deg,
                 QStringLiteral("05h 59.9m  +10°59'"));
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
        test::textFunctionTable()
            .row("comma", "12,5", "12.5")
            .row("second sign", "-1-2", "-12")
            .row("letters", "a12b", "a12")
            .row("blank", "1 2", "12")
            .row("slash", "1/2", "1/2")
            .row("empty", "", "")
            .row("leading comma", ",5", ".5")
            .row("cyrillic", QStringLiteral("ф1ю2"), QStringLiteral("ф12"));
    }
    void numericTextFilter() { test::checkTextFunction(NumericTextFilter); }

    void safeLog10() {
        double x = 0;
        COMPARE_EXACT(SafeLog10(x), -30.000000006683123);
        QCOMPARE(x, 1E-30);
        double hundred = 100;
        QVERIFY(std::fabs(SafeLog10(hundred) - 2) < 1e-8);
    }

    void fileNamePart_data() {
        test::textFunctionTable()
            .row("backslash", "C:\\a\\b.jpg", "b.jpg")
            .row("slash", "d/e.bmp", "e.bmp")
            .row("mixed", "C:\\x/y\\z.jpg", "z.jpg")
            .row("bare", "f.jpg", "f.jpg");
    }
    void fileNamePart() { test::checkTextFunction(FileNamePart); }
};

QTEST_GUILESS_MAIN(TestSkyMath)
#include "tst_skymath.moc"
