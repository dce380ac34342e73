// How faint the known objects shown go by default: a table of star lists on a plain TAN sky, then
// a photograph of real Tycho-2 stars as the window shows it against the installed index.

#include "report/knownobjects.h"
#include "support/catalogfield.h"
#include "support/datatable.h"
#include "support/wcsheader.h"
#include "view/linearstretch.h"

#include <QVector3D>
#include <QVector4D>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

const TanPicture Field{150 * Rad, 20 * Rad, 0.2, 0, 400, 300};

SkyWcs wcsOf(const TanPicture& tan) {
    return SkyWcs::fromHeaderText(tanHeaderCards(tan).join('\n') +
                                  QString("\nNAXIS1  = %1\nNAXIS2  = %2").arg(tan.widthPx).arg(tan.heightPx))
        .value();
}

} // namespace

class TestMagnitudeLimit : public QObject {
    Q_OBJECT

  private slots:
    void fromStars_data() {
        // Catalogue stars as (x, y, V) in picture pixels; detected ones as (x, y, flux, flags):
        // the three on zero point 25 and a faint star that reaches V 17.5 there.
        const auto fluxOf = [](double m, double zp) { return float(std::pow(10.0, -0.4 * (m - zp))); };
        const QVector<QVector3D> three{{100, 100, 10}, {200, 150, 12}, {300, 200, 14}};
        const QVector<QVector4D> found{{100, 100, fluxOf(10, 25), 0}, {200, 150, fluxOf(12, 25), 0},
                                       {300, 200, fluxOf(14, 25), 0}, {50, 250, 1000, 0}};
        DataTable<QVector<QVector3D>, QVector<QVector4D>, double, int>("catalogue", "detected", "limit", "matched")
            .row("three matched on zero point 25", three, found, 18.0, 3)
            .row("zero point 22, centres 2 px off", three,
                 {{102, 100, fluxOf(10, 22), 0}, {200, 148, fluxOf(12, 22), 0}, {301.4, 201.4, fluxOf(14, 22), 0}, found[3]},
                 15.0, 3)
            .row("a variable star does not move the median", three + QVector<QVector3D>{{120, 60, 13}},
                 found + QVector<QVector4D>{{120, 60, fluxOf(16, 25), 0}}, 18.0, 4)
            .row("saturated stars are no measure", three,
                 {{100, 100, 9e5, StarSaturated}, {200, 150, 9e5, StarSaturated}, {300, 200, 9e5, StarSaturated}, found[3]},
                 20.0, 0)
            .row("3 px away is another star", three, QVector<QVector4D>{{103, 100, fluxOf(10, 25), 0}} + found.mid(1), 20.0, 2)
            .row("a hot pixel is not the faintest star", three, found + QVector<QVector4D>{{10, 10, 5, StarHotPixel}},
                 18.0, 3)
            .row("no catalogue stars", {}, found, 20.0, 0);
    }
    void fromStars() {
        QFETCH(QVector<QVector3D>, catalogue);
        QFETCH(QVector<QVector4D>, detected);
        QFETCH(double, limit);
        QFETCH(int, matched);
        const SkyWcs wcs = wcsOf(Field);
        std::vector<ReferenceStar> stars;
        for (const QVector3D& c : catalogue)
            stars.push_back({*wcs.pictureToSky(QPointF(c.x(), c.y())), c.z()});
        StarList list{{}, 400, 300};
        for (const QVector4D& d : detected)
            list.stars << Star{d.x(), d.y(), d.z(), 0, 0, 0, 1, 0, unsigned(d.w())};
        const MagnitudeLimit m = pictureMagnitudeLimit(list, wcs, stars);
        QVERIFY2(std::fabs(m.limit - limit) < 0.01, qPrintable(QString::number(m.limit)));
        QCOMPARE(m.matched, matched);
        QVERIFY2(m.note.startsWith(matched >= 3 ? QString("предел V %1: звёзды снимка до ").arg(limit, 0, 'f', 1)
                                   : matched ? QString("предел V 20: мало звёзд каталога для нуль-пункта (%1)").arg(matched)
                                             : QString("предел V 20: нет звёзд каталога для нуль-пункта")),
                 qPrintable(m.note));
    }

    // Real Tycho-2 stars on a 16-bit sky stretched for display as a FITS picture is: a limit near
    // the faintest star drawn (a zero point alone, on the stretched picture, put it 1.7 short).
    void photographOfTheSky() {
        const TanPicture tan{84 * Rad, -1.5 * Rad, 2.0, 30.0, 1500, 1000};
        const CatalogField field = catalogField(tan, 7);
        QVERIFY2(field.stars.stars.size() > 30, "the astrometry.net Tycho-2 index files are not installed");
        const QImage shown = stretchSixteenBit(sixteenBitPicture(field.picture), QImage::Format_Grayscale8);
        const MagnitudeLimit m = magnitudeLimitOf(shown, wcsOf(tan));
        // V 7 is drawn at 30000 counts of peak; the list holds the drawn stars, faintest last.
        const double faintestDrawn = 7 - 2.5 * std::log10(field.stars.stars.back().flux / (30000 * 2 * M_PI * 1.69));
        // The stretch lifts the faint stars: V runs well ahead of the grey levels' magnitude.
        QVERIFY2(m.fromPicture && m.matched > 20 && m.slope > 1.5, qPrintable(m.note));
        QVERIFY2(std::fabs(m.limit - (faintestDrawn + 0.5)) < 1.0,
                 qPrintable(QString("%1 against %2").arg(m.note).arg(faintestDrawn)));
    }
};

QTEST_GUILESS_MAIN(TestMagnitudeLimit)
#include "tst_magnitudelimit.moc"
