#include "common/vorlanerror.h"
#include "sky/platesolution.h"
#include "sky/skymath.h"
#include "sky/skytext.h"
#include "skyfield.h"
#include "support/datatable.h"

#include <QLocale>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A synthetic picture of a star field (gnomonic, centred on ra0, dec0, field degrees across,
/// turned by rotation degrees) shown at scale, with stars mark1 and mark2 marked.
struct GnomonicCase {
    const QVector<CatalogueStar>* stars;
    double ra0, dec0; ///< radians
    double field;
    double rotation;
    int mark1, mark2;
    float scale;
};

} // namespace

Q_DECLARE_METATYPE(GnomonicCase)

namespace {

/// Marks stars i and j of a synthetic picture shown at scale s, as the user would.
PlateInput marking(const TanPicture& pic, const QVector<CatalogueStar>& stars, int i, int j, float s) {
    PlateInput in;
    double x1, y1, x2, y2;
    pic.project(stars[i].ra(), stars[i].dec(), x1, y1);
    pic.project(stars[j].ra(), stars[j].dec(), x2, y2);
    // Reference points are picture twips: picture pixels x 15.
    in.marked.point1 = {float(x1 * 15), float(y1 * 15)};
    in.marked.point2 = {float(x2 * 15), float(y2 * 15)};
    in.marked.stars = {float(stars[i].ra()), float(stars[i].dec()), float(stars[j].ra()),
                       float(stars[j].dec())};
    in.pictureWidth = float(pic.widthPx);
    in.pictureHeight = float(pic.heightPx);
    in.displayScale = s;
    in.readoutActive = true;
    return in;
}

// A north-south pair typed to the same minute of right ascension, and a star 0.1m off it.
const QVector<CatalogueStar> SameMinute = {
    {"north", 5, 31, 0, +1, 11, 18, 0}, {"south", 5, 31, 0, +1, 10, 42, 0}, {"east", 5, 32, 12, +1, 11, 5, 0},
    {"west", 5, 29, 30, +1, 10, 55, 0}, {"next", 5, 31, 6, +1, 10, 50, 0},
};

// Across the north pole: right ascensions 12 hours apart.
const QVector<CatalogueStar> AcrossThePole = {
    {"a", 2, 0, 0, +1, 89, 20, 0},
    {"b", 14, 0, 0, +1, 89, 40, 0},
    {"c", 8, 0, 0, +1, 89, 30, 0},
    {"d", 20, 0, 0, +1, 89, 45, 0},
};

double wrapDegrees(double a) {
    return std::remainder(a, 360.0);
}

} // namespace

class TestPlateSolution : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void againstGnomonicPicture_data() {
        QTest::addColumn<GnomonicCase>("c");
        const double pleiadesRa = (3 + 46.5 / 60) * 15 * Rad, pleiadesDec = 24.25 * Rad;
        QTest::newRow("Pleiades upright")
            << GnomonicCase{&Pleiades, pleiadesRa, pleiadesDec, 1.5, 0.0, 1, 2, 1.0f};
        QTest::newRow("Pleiades 10 ccw")
            << GnomonicCase{&Pleiades, pleiadesRa, pleiadesDec, 1.5, 10.0, 1, 2, 1.0f};
        QTest::newRow("Pleiades -35, marks reversed")
            << GnomonicCase{&Pleiades, pleiadesRa, pleiadesDec, 1.5, -35.0, 2, 1, 1.5f};
        QTest::newRow("Pleiades 120, N-S pair")
            << GnomonicCase{&Pleiades, pleiadesRa, pleiadesDec, 2.0, 120.0, 5, 4, 0.75f};
        QTest::newRow("Pleiades 200")
            << GnomonicCase{&Pleiades, pleiadesRa, pleiadesDec, 1.2, 200.0, 0, 5, 2.0f};
        const double beltRa = (5 + 36.0 / 60) * 15 * Rad, beltDec = -1.5 * Rad;
        QTest::newRow("Orion belt 5 deg") << GnomonicCase{&OrionBelt, beltRa, beltDec, 5.0, 0.0, 0, 2, 1.0f};
        QTest::newRow("Orion belt 5 deg, -70")
            << GnomonicCase{&OrionBelt, beltRa, beltDec, 5.0, -70.0, 2, 0, 1.0f};
        const double dipperRa = (15 + 5.0 / 60) * 15 * Rad, dipperDec = 73.0 * Rad;
        QTest::newRow("Little Dipper 5 deg")
            << GnomonicCase{&LittleDipper, dipperRa, dipperDec, 5.0, 0.0, 0, 1, 1.0f};
        QTest::newRow("Little Dipper 5 deg, 45")
            << GnomonicCase{&LittleDipper, dipperRa, dipperDec, 5.0, 45.0, 1, 0, 1.0f};
        // Close to the pole, the readout also over a point exactly at it.
        QTest::newRow("Polaris field") << GnomonicCase{&PoleField, 0.0, 88.5 * Rad, 5.0, 0.0, 1, 4, 1.0f};
        QTest::newRow("Polaris field, 150")
            << GnomonicCase{&PoleField, 0.0, 88.5 * Rad, 5.0, 150.0, 4, 1, 1.0f};
        // Stars of equal, nearly equal and opposite right ascension: their great circle is an
        // hour circle, whose pole lies on the equator.
        const double sameRa = (5 + 30.9 / 60) * 15 * Rad, sameDec = 11 * Rad;
        for (double rotation : {0.0, 35.0, -100.0, 170.0}) {
            QTest::addRow("same minute N-S, %g", rotation)
                << GnomonicCase{&SameMinute, sameRa, sameDec, 1.5, rotation, 0, 1, 1.0f};
            QTest::addRow("same minute S-N, %g", rotation)
                << GnomonicCase{&SameMinute, sameRa, sameDec, 1.5, rotation, 1, 0, 2.0f};
            QTest::addRow("0.1m apart, %g", rotation)
                << GnomonicCase{&SameMinute, sameRa, sameDec, 1.5, rotation, 0, 4, 1.0f};
            QTest::addRow("0.1m apart reversed, %g", rotation)
                << GnomonicCase{&SameMinute, sameRa, sameDec, 1.5, rotation, 4, 0, 1.0f};
            QTest::addRow("12h apart, %g", rotation)
                << GnomonicCase{&AcrossThePole, 5 * 15 * Rad, 89.6 * Rad, 3.0, rotation, 0, 1, 1.0f};
            QTest::addRow("12h apart reversed, %g", rotation)
                << GnomonicCase{&AcrossThePole, 5 * 15 * Rad, 89.6 * Rad, 3.0, rotation, 1, 0, 1.0f};
        }
    }
    void againstGnomonicPicture() {
        QFETCH(GnomonicCase, c);
        const auto& [stars, ra0, dec0, field, rotation, mark1, mark2, scale] = c;
        const TanPicture pic{ra0, dec0, field, rotation};
        const PlateInput in = marking(pic, *stars, mark1, mark2, scale);

        const PlateSolution plate = SolvePlate(in);
        const double centreError = arcMinutesBetween(plate.centreSky.ra, plate.centreSky.dec, ra0, dec0);
        QVERIFY2(centreError < 0.5, qPrintable(QStringLiteral("centre off by %1'").arg(centreError)));
        const double angleError = wrapDegrees(plate.angle / Rad - rotation);
        QVERIFY2(std::fabs(angleError) < 0.05,
                 qPrintable(QStringLiteral("angle off by %1°").arg(angleError)));

        int checked = 0;
        for (int k = 0; k < stars->size(); ++k) {
            double x, y;
            pic.project((*stars)[k].ra(), (*stars)[k].dec(), x, y);
            if (!pic.inside(x, y)) continue;
            const TwipPoint cursor{float(x * scale * 15), float(y * scale * 15)};
            const SkyFix fix = SolveAtScale(in.marked, in.displayScale, cursor);
            const double error = arcMinutesBetween(fix.ra, fix.dec, (*stars)[k].ra(), (*stars)[k].dec());
            QVERIFY2(error < 1.0,
                     qPrintable(QStringLiteral("%1 off by %2'").arg((*stars)[k].name).arg(error)));
            ++checked;
        }
        QVERIFY(checked >= 3);
    }

    // The model's own round trip, so a fault in it cannot hide one in the program.
    void modelRoundTrip() {
        const TanPicture pic{1.0, 1.2, 5.0, 33.0};
        double x, y, ra, dec;
        pic.project(1.05, 1.18, x, y);
        pic.skyAt(x, y, ra, dec);
        QVERIFY(std::fabs(ra - 1.05) < 1e-12 && std::fabs(dec - 1.18) < 1e-12);
        // North up-left for a positive rotation: a star due north sits left of the centre column.
        pic.project(1.0, 1.21, x, y);
        QVERIFY(x < 400 && y < 300);
    }

    // The report lines, in the C locale and in a Russian one: the sizes use the invariant form
    // whatever the locale, the angle the locale's separator.
    void reportLines_data() { DataTable<bool>("russian").row("C", false).row("ru", true); }
    void reportLines() {
        QFETCH(bool, russian);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian) : QLocale::c());
        const TanPicture pic{(3 + 46.5 / 60) * 15 * Rad, 24.25 * Rad, 2.5, 10.0};
        const PlateSolution plate = SolvePlate(marking(pic, Pleiades, 1, 2, 2.0f));
        const QString sep = russian ? QStringLiteral(",") : QStringLiteral(".");
        // 1600 x 1200 screen pixels showing 2.5° x 1.875°; 800 x 600 picture pixels.
        QCOMPARE(plate.infoText, QStringLiteral("центр: 03h 46") + sep + QStringLiteral("5m  +24°15'\r\n") +
                                     QStringLiteral("размер в градусах  2 x  1\r\n") +
                                     QStringLiteral("размер в пикселах  800 x  600\r\n"));
        const QString prefix = QStringLiteral("Угол отклонения от направления на полюс ");
        QVERIFY(plate.angleLine.startsWith(prefix) && plate.angleLine.endsWith(QStringLiteral("\r\n")));
        QString number = plate.angleLine.mid(prefix.size()).chopped(2);
        QCOMPARE(number.indexOf(sep), number.size() - 4); // three decimals after the locale's separator
        QVERIFY(std::fabs(number.replace(sep, QStringLiteral(".")).toDouble() - 10) < 0.05);
        QCOMPARE(plate.centre.x, 12000.0f);
        QCOMPARE(plate.centre.y, 9000.0f);
        // Less than a degree floors to 0.
        const TanPicture narrow{pic.ra0, pic.dec0, 0.9, 0.0};
        QVERIFY(SolvePlate(marking(narrow, Pleiades, 0, 3, 1.0f))
                    .infoText.contains(QStringLiteral("градусах  0 x  0")));
    }

    // Without the readout the probe stays at the centre: the angle is 0 and means nothing.
    void inactiveReadoutLeavesCentreAsProbe() {
        const TanPicture pic{(3 + 46.5 / 60) * 15 * Rad, 24.25 * Rad, 1.5, 30.0};
        PlateInput in = marking(pic, Pleiades, 1, 2, 1.0f);
        in.readoutActive = false;
        const PlateSolution plate = SolvePlate(in);
        QCOMPARE(plate.probeRa, double(plate.centreSky.ra));
        QCOMPARE(plate.probeDec, double(plate.centreSky.dec));
        QCOMPARE(plate.angle, 0.0);
    }

    void degenerateInputThrows_data() {
        DataTable<int>("kind")
            .row("both marks at one place", 0)
            .row("identical star coordinates", 1)
            .row("all-zero star coordinates", 2)
            .row("zero display scale", 3)
            .row("star 1 at the north pole", 4)
            .row("star 2 at the south pole", 5);
    }
    void degenerateInputThrows() {
        QFETCH(int, kind);
        const TanPicture pic{(3 + 46.5 / 60) * 15 * Rad, 24.25 * Rad, 1.5, 0.0};
        PlateInput in = marking(pic, Pleiades, 1, 2, 1.0f);
        switch (kind) {
        case 0:
            in.marked.point2 = in.marked.point1;
            break;
        case 1:
            in.marked.stars.ra2 = in.marked.stars.ra1, in.marked.stars.dec2 = in.marked.stars.dec1;
            break;
        case 2:
            in.marked.stars = StarPair{};
            break;
        case 3:
            in.displayScale = 0;
            break;
        case 4:
            in.marked.stars.dec1 = float(90 / 57.2957795130823);
            break;
        case 5:
            in.marked.stars.dec2 = float(-90 / 57.2957795130823);
            break;
        }
        QVERIFY_THROWS_EXCEPTION(VorlanError, SolvePlate(in));
        QVERIFY_THROWS_EXCEPTION(VorlanError, SolveAtScale(in.marked, in.displayScale, in.marked.point1));
    }

    void emptyPictureHasNoCentreDistance() {
        QVERIFY_THROWS_EXCEPTION(VorlanError, CentreDistanceText(0, 0, 0, 0));
    }
};

QTEST_GUILESS_MAIN(TestPlateSolution)
#include "tst_platesolution.moc"
