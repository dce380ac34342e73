#include "greypicture.h"
#include "photometry/photometrycut.h"
#include "photometry/starmeasure.h"
#include "support/datatable.h"

#include <QLocale>
#include <QPainter>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// One star scan: the picture ("x,y,w,h,level;..." blocks on 20), where it is cut and clicked,
/// and what the scan finds.
struct ScanCase {
    QSize picture;
    QString stars;
    QPoint cutAt;
    QPoint click;
    QPoint ringAt; ///< (-1, -1): no ring; radius 6
    int n;         ///< -1: nothing found
    int S;
    int nB; ///< -1: not checked
};

} // namespace

Q_DECLARE_METATYPE(ScanCase)

class TestStarMeasure : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // The star's pixels and its background on a cut-out taken at (left, top) of a picture.
    void scan_data() {
        DataTable<ScanCase> table("c");
        const QSize p400(400, 400);
        const QPoint none(-1, -1), origin(0, 0);
        table.row("3x3 star", {p400, "199,199,3,3,200", origin, {200, 200}, none, 9, 1800, 201 * 201 - 9});
        table.row("click on the pixel left of a star",
                  {p400, "201,199,3,3,200", origin, {200, 200}, none, 9, 1800, -1});
        table.row("click row ends at the click column",
                  {p400, "190,195,11,11,100", origin, {200, 200}, none, 121, 12100, -1});
        table.row(
            "rows shifted right",
            {p400, "200,200,5,1,90;203,201,6,1,90;207,202,6,1,90", origin, {201, 200}, none, 17, 1530, -1});
        table.row("bottom row",
                  {p400, "195,390,11,10,100", origin, {200, 395}, none, 110, 11000, 105 * 201 - 110});
        table.row("column 0", {p400, "0,100,6,11,100", origin, {3, 105}, none, 66, 6600, 104 * 201 - 66});
        table.row("top row, right edge", {p400, "390,0,10,3,100", origin, {399, 0}, none, 30, 3000, -1});
        table.row("background", {p400, "199,199,3,3,200", origin, {100, 100}, none, -1, 0, -1});
        // The neutral border (brightness 88) is neither star nor background.
        table.row("cut past the corner",
                  {{300, 300}, "0,0,4,4,150", {-200, -200}, {201, 201}, none, 16, 2400, 102 * 102 - 16});
        table.row("ring between two stars", {p400,
                                             "199,199,3,3,200;202,200,8,1,200;210,199,3,3,200",
                                             origin,
                                             {200, 200},
                                             {211, 200},
                                             10,
                                             2000,
                                             -1});
    }
    void scan() {
        QFETCH(ScanCase, c);
        const auto& [picture, stars, cutAt, click, ringAt, n, S, nB] = c;
        PhotometryCut cut = CutFromPicture(greyPicture(picture, stars), cutAt.x(), cutAt.y());
        if (ringAt.x() >= 0) DrawRestrictingRing(cut, ringAt, 6);
        const StarScan star = ScanStar(cut, 60, click.x(), click.y());
        QCOMPARE(star.found, n >= 0);
        if (n < 0) return;
        QCOMPARE(star.n, n);
        QCOMPARE(star.S, S);
        QCOMPARE(star.SR, double(S)); // grey
        int runPixels = 0;
        for (const StarRun& r : star.runs)
            runPixels += r.right - r.left + 1;
        QCOMPARE(runPixels, n);
        const StarBackground bg = EstimateBackground(cut, 60, star.x0, star.y0);
        if (nB >= 0) QCOMPARE(bg.nB, nB);
        QCOMPARE(bg.SB, 20 * bg.nB);
    }

    // The ring's paint stops scans and is no background: a flat field loses exactly its ring.
    void ringIsNoBackground() {
        PhotometryCut cut = CutFromPicture(greyPicture({400, 400}, QString()), 0, 0);
        DrawRestrictingRing(cut, QPoint(200, 200), 12);
        int ring = 0;
        for (int y = 0; y < CutSize; ++y)
            ring +=
                int(std::count(cut.mask.constScanLine(y), cut.mask.constScanLine(y) + CutSize, RingPixel));

        QVERIFY(ring > 2 * 3 * 12 * 4);
        QCOMPARE(EstimateBackground(cut, 60, 200, 200).nB, 201 * 201 - ring);
        QCOMPARE(cut.image.pixel(212, 200), qRgb(255, 255, 255));
        QCOMPARE(cut.image.pixel(213, 200), qRgb(0, 0, 0));
        QCOMPARE(cut.image.pixel(214, 200), qRgb(20, 20, 20));
    }

    void report_data() {
        // sums: n, S, SR, nB, SB, uv
        // texts: txtZ, txtM, txtZ2, txtM2
        // fields: LblInfo1 TxtInfo LblInfo2 txtKb lblZV Label7; "~" keeps
        DataTable<bool, QVector<int>, QStringList, QStringList> table("russian", "sums", "texts", "fields");
        const QVector<int> example{9, 1800, 1800, 1000, 20000, 1};
        const QStringList defaults{"20000", "-2", "", ""};
        const QString one = " относительный блеск по отношению к 1 звезде ";
        const QString two = " блеск по отношению к двум звёздам ";
        const QString i1620 = "Общая интенсивность  1620", ci0 = "Показатель цвета   0.00";
        table.row("worked example", false, example, defaults, {i1620, "1620", ci0, " 2.857866", "1.12", one});
        table.row("worked example ru", true, example, defaults,
                  {i1620, "1620", "Показатель цвета   0,00", " 2,857866", "1,12", one});
        table.row("two stars", false, example, {"20000", "-2", "2000", "0.5"},
                  {i1620, "1620", ci0, " 2.5", "0.73", two});
        table.row("second light rounds to the first", false, example, {"20000", "-2", "20000.4", "0.5"},
                  {i1620, "1620", ci0, " 2.857866", "1.12", one});
        table.row("second magnitude without light", false, example, {"20000", "-2", "", "0.5"},
                  {i1620, "1620", ci0, " 2.857866", "1.12", one});
        table.row("txtZ emptied", false, example, {"", "-2", "", ""},
                  {i1620, "1620", ci0, "2.857866", "~", "~"});
        table.row("uv 3", false, {9, 1800, 1800, 1000, 20000, 3}, defaults,
                  {"Общая интенсивность  180", "180", ci0, " 2.540699", "3.20", one});
        table.row("bright red star, k 5", false, {400, 100000, 140000, 1000, 20000, 1}, defaults,
                  {"Общая интенсивность  92000", "92000", "Показатель цвета   4.35", " 5", "-5.31", one});
        // Nothing undefined reaches a field.
        table.row("no background", false, {9, 1800, 1800, 0, 0, 1}, defaults,
                  {"Общая интенсивность  нет фона", "нет фона", "Показатель цвета   нет фона", "нет фона",
                   "нет фона", one});
        table.row("no light", false, {1, 20, 20, 1000, 20000, 1}, defaults,
                  {"Общая интенсивность  0", "0", "Показатель цвета   нет света звезды", " 2.5",
                   "нет света звезды", one});
        table.row("bright star light 0", false, example, {"0", "-2", "", ""},
                  {i1620, "1620", ci0, " 2.857866", "свет яркой звезды 0", one});
        table.row("second star light 0", false, example, {"20000", "-2", "0", "0.5"},
                  {i1620, "1620", ci0, "свет 2-й звезды 0", "свет 2-й звезды 0", two});
        table.row("bright star light not a number", false, example, {"1/2", "-2", "2000", "0.5"},
                  {i1620, "1620", ci0, "свет яркой звезды не число", "~", "~"});
        table.row("second star light not a number", false, example, {"20000", "-2", "2/3", "0.5"},
                  {i1620, "1620", ci0, "свет 2-й звезды не число", "свет 2-й звезды не число", two});
    }
    void report() {
        QFETCH(bool, russian);
        QFETCH(QVector<int>, sums);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, fields);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian) : QLocale::c());
        StarScan star;
        star.found = true;
        star.n = sums[0], star.S = sums[1], star.SR = sums[2];
        const StarBackground bg{sums[3], sums[4]};
        const ComparisonTexts t{texts[0], texts[1], texts[2], texts[3]};
        const StarFields f = ReportStar(star, bg, sums[5], t, t);
        const std::optional<QString> got[] = {f.LblInfo1, f.TxtInfo, f.LblInfo2, f.txtKb, f.lblZV, f.Label7};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(got[i].value_or(QStringLiteral("~")), fields[i]);
    }

    void centreDistance_data() {
        // percent -1: none
        DataTable<QPointF, QPoint, float, double>("cut", "at", "scale", "percent")
            // Picture 1 of 800 x 600 shown at scale 2: centre (400, 300), half-diagonal 500.
            .row("centre", QPointF(400, 300), QPoint(200, 200), 2.0f, 0.0)
            .row("corner", QPointF(100, 100), QPoint(100, 100), 2.0f, 100.0)
            .row("half way", QPointF(400, 300), QPoint(240, 230), 2.0f, 10.0)
            .row("beyond the corner", QPointF(0, 0), QPoint(0, 0), 2.0f, 43.8)
            .row("no picture 1", QPointF(0, 0), QPoint(0, 0), 0.0f, -1.0);
    }
    void centreDistance() {
        QFETCH(QPointF, cut);
        QFETCH(QPoint, at);
        QFETCH(float, scale);
        QFETCH(double, percent);
        const auto p =
            CentreDistancePercent(float(cut.x()), float(cut.y()), at.x(), at.y(), 1600, 1200, scale);
        QCOMPARE(p.value_or(-1), percent);
    }
};

QTEST_GUILESS_MAIN(TestStarMeasure)
#include "tst_starmeasure.moc"
