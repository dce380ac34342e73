// How faint the known objects shown go by default: the picture's faintest star plus half a
// magnitude, on a zero point from the catalogue stars matched to the picture's. A table of
// star lists against a plain TAN sky, then a photograph of real Tycho-2 stars as the window
// shows it (stretched to 8 bits) against the installed index.

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
                                  QString("\nNAXIS1  = %1\nNAXIS2  = %2").arg(tan.widthPx).arg(tan.heightPx));
}

/// Flux of a star of magnitude m on the zero point zp.
float fluxOf(double m, double zp) {
    return float(std::pow(10.0, -0.4 * (m - zp)));
}

} // namespace

class TestMagnitudeLimit : public QObject {
    Q_OBJECT

  private slots:
    void fromStars_data() {
        // Catalogue stars as (x, y, V) in picture pixels; detected ones as (x, y, flux, flags).
        const QVector<QVector3D> three{{100, 100, 10}, {200, 150, 12}, {300, 200, 14}};
        const QVector4D faint(50, 250, 1000, 0);
        DataTable<QVector<QVector3D>, QVector<QVector4D>, double, int>("catalogue", "detected", "limit", "matched")
            .row("three matched on zero point 25", three,
                 {{100, 100, fluxOf(10, 25), 0}, {200, 150, fluxOf(12, 25), 0}, {300, 200, fluxOf(14, 25), 0}, faint},
                 18.0, 3)
            .row("zero point 22, centres 2 px off", three,
                 {{102, 100, fluxOf(10, 22), 0}, {200, 148, fluxOf(12, 22), 0}, {301.4, 201.4, fluxOf(14, 22), 0}, faint},
                 15.0, 3)
            .row("a variable star does not move the median", three + QVector<QVector3D>{{120, 60, 13}},
                 {{100, 100, fluxOf(10, 25), 0}, {200, 150, fluxOf(12, 25), 0}, {300, 200, fluxOf(14, 25), 0},
                  {120, 60, fluxOf(16, 25), 0}, faint},
                 18.0, 4)
            .row("saturated stars are no measure", three,
                 {{100, 100, 9e5, StarSaturated}, {200, 150, 9e5, StarSaturated}, {300, 200, 9e5, StarSaturated}, faint},
                 20.0, 0)
            .row("3 px away is another star", three,
                 {{103, 100, fluxOf(10, 25), 0}, {200, 150, fluxOf(12, 25), 0}, {300, 200, fluxOf(14, 25), 0}, faint},
                 20.0, 2)
            .row("a hot pixel is not the faintest star", three,
                 {{100, 100, fluxOf(10, 25), 0}, {200, 150, fluxOf(12, 25), 0}, {300, 200, fluxOf(14, 25), 0}, faint,
                  {10, 10, 5, StarHotPixel}},
                 18.0, 3)
            .row("no catalogue stars", {}, {faint}, 20.0, 0);
    }
    void fromStars() {
        QFETCH(QVector<QVector3D>, catalogue);
        QFETCH(QVector<QVector4D>, detected);
        QFETCH(double, limit);
        QFETCH(int, matched);
        const SkyWcs wcs = wcsOf(Field);
        QVERIFY(wcs.isValid());
        std::vector<ReferenceStar> stars;
        for (const QVector3D& c : catalogue)
            stars.push_back({*wcs.pictureToSky(QPointF(c.x(), c.y())), c.z()});
        StarList list{{}, 400, 300};
        for (const QVector4D& d : detected) {
            Star s;
            s.x = d.x(), s.y = d.y(), s.flux = d.z(), s.flags = unsigned(d.w());
            list.stars << s;
        }
        const MagnitudeLimit m = pictureMagnitudeLimit(list, wcs, stars);
        QVERIFY2(std::fabs(m.limit - limit) < 0.01, qPrintable(QString::number(m.limit)));
        QCOMPARE(m.matched, matched);
        QCOMPARE(m.fromPicture, matched >= 3);
        const QString expected = matched >= 3 ? QString("предел V %1: звёзды снимка до ").arg(limit, 0, 'f', 1).replace('.', ',')
                                 : matched == 0 ? QString("предел V 20: нет звёзд каталога для нуль-пункта")
                                                : QString("предел V 20: мало звёзд каталога для нуль-пункта (%1)").arg(matched);
        QVERIFY2(m.note.startsWith(expected), qPrintable(m.note));
    }

    // Real Tycho-2 stars drawn on a 16-bit sky and stretched for display as a FITS picture is:
    // the stars found in it, the index's stars of the field, one scale over many of them, and a
    // limit near the faintest stars the index put into the picture (a zero point alone, on the
    // stretched picture, put it 1.7 magnitudes short).
    void photographOfTheSky() {
        const TanPicture tan{84 * Rad, -1.5 * Rad, 2.0, 30.0, 1500, 1000};
        const CatalogField field = catalogField(tan, 7);
        QVERIFY2(field.stars.stars.size() > 30, "the astrometry.net Tycho-2 index files are not installed");
        const SkyWcs wcs = wcsOf(tan);
        const QImage shown = stretchSixteenBit(sixteenBitPicture(field.picture), QImage::Format_Grayscale8);
        const MagnitudeLimit m = magnitudeLimitOf(shown, wcs);
        double faintestDrawn = 0;
        for (const IndexStar& s : catalogueStars(84, -1.5, 1.5))
            faintestDrawn = std::max(faintestDrawn, s.mag);
        // The stretch lifts the faint stars: V runs well ahead of the grey levels' magnitude.
        QVERIFY2(m.fromPicture && m.matched > 20 && m.slope > 1.5, qPrintable(m.note));
        QVERIFY2(std::fabs(m.limit - (faintestDrawn + 0.5)) < 1.0,
                 qPrintable(QString("%1 against %2").arg(m.note).arg(faintestDrawn)));
    }
};

QTEST_GUILESS_MAIN(TestMagnitudeLimit)
#include "tst_magnitudelimit.moc"
