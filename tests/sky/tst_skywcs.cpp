// The WCS of a picture through wcslib, checked against astrometry.net's own implementation
// (wcs-xy2rd) on the same files, and the picture frames, text form and txtInfo facts built on it.

#include "common/vorlanerror.h"
#include "project/registrationline.h"
#include "sky/picturesky.h"
#include "sky/platesolution.h"
#include "sky/platesolver.h"
#include "sky/skywcs.h"
#include "sky/wcsregistration.h"
#include "support/datatable.h"
#include "support/wcsheader.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

constexpr int W = 1500, H = 1000;

/// A mirror image of cards' picture (taken through a diagonal): east to the right, when both CD1
/// cards are negative.
QStringList mirroredCards(QStringList cards) {
    return cards.replaceInStrings(QRegularExpression("^(CD1_[12]\\s*=\\s*)-"), "\\1 ");
}

class TestSkyWcs : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    // reference: what astrometry.net reads instead, for a form it does not know; empty: the same
    // file. optics: cards of the lens and camera, scale: the arc-seconds per pixel they give, 0: no hint.
    void agreesWithAstrometryNet_data() {
        const TanPicture orion{84 * Rad, -1.2 * Rad, 2.0, 23.0, W, H};
        const QString common = "CTYPE1 = 'RA---TAN'|CTYPE2 = 'DEC--TAN'|CRPIX1 = 801.25|CRPIX2 = 470.5|"
                               "CRVAL1 = 201.5|CRVAL2 = -43.02|";
        // astrometry.net ignores CROTA2: it reads the CD matrix the standard derives from it,
        // CD = [[CDELT1 cos r, -CDELT2 sin r], [CDELT1 sin r, CDELT2 cos r]].
        const double c = 0.0013333333 * std::cos(-12.5 * Rad), s = 0.0013333333 * std::sin(-12.5 * Rad);
        DataTable<QStringList, QStringList, QString, double>("cards", "reference", "optics", "scale")
            .row("TAN-SIP, CD matrix; XPIXSZ, binned as written", withSip(tanHeaderCards(orion)), {},
                 "FOCALLEN = 400.|XPIXSZ = 3.76", 1.9389)
            .row("TAN-SIP near the pole, across 0h; PIXSIZE1 times XBINNING",
                 withSip(tanHeaderCards({2 * Rad, 88.5 * Rad, 3.0, -71, W, H})), {},
                 "FOCALLEN = 400.|PIXSIZE1 = 3.76|XBINNING = 2", 3.8778)
            .row("TAN-SIP mirrored; no focal length", mirroredCards(withSip(tanHeaderCards(orion))), {},
                 "XPIXSZ = 3.76", 0)
            .row("TAN, CDELT and CROTA2; zero focal length",
                 cards(common + "CDELT1 = -0.0013333333|CDELT2 = 0.0013333333|CROTA2 = -12.5"),
                 cards(common + QString("CD1_1 = %1|CD1_2 = %2|CD2_1 = %2|CD2_2 = %3")
                                    .arg(-c, 0, 'G', 17)
                                    .arg(-s, 0, 'G', 17)
                                    .arg(c, 0, 'G', 17)),
                 "FOCALLEN = 0.|XPIXSZ = 3.76", 0)
            .row("TAN, PC and CDELT",
                 cards(common +
                       "CDELT1 = -0.0014|CDELT2 = 0.0014|PC1_1 = 0.96592582628907|"
                       "PC1_2 = 0.25881904510252|PC2_1 = -0.25881904510252|PC2_2 = 0.96592582628907"),
                 {}, "", 0);
    }
    // Corners and centre of the displayed picture, taken through the display flip, agree with
    // astrometry.net on the same file within 0.1" in every form of the header (the readout at
    // zooms and pans: tst_skycoordinates). The lens and camera of the header give a solve its hint.
    void agreesWithAstrometryNet() {
        QFETCH(QStringList, cards);
        QFETCH(QStringList, reference);
        QFETCH(QString, optics);
        QFETCH(double, scale);
        const QString file = dir.filePath("picture.fits"), other = dir.filePath("reference.fits");
        QCOMPARE(writeFitsWithCards(file, blankPicture(W, H),
                                    cards + (optics.isEmpty() ? QStringList() : test::cards(optics))),
                 0);
        QCOMPARE(writeFitsWithCards(other, blankPicture(W, H), reference.isEmpty() ? cards : reference), 0);
        const Outcome<SkyWcs> read = SkyWcs::fromFitsFile(file);
        QVERIFY2(read.ok(), qPrintable(read.reason()));
        const SkyWcs& wcs = read.value();
        QCOMPARE(wcs.width(), W);
        QCOMPARE(wcs.height(), H);
        QCOMPARE(wcs.projection(), cards.first().contains("SIP") ? QString("TAN-SIP") : QString("TAN"));
        // Centres of the top-left, top-right, bottom-left, bottom-right pixels, and the centre.
        double worst = 0;
        for (const QPointF p : {QPointF(0.5, 0.5), QPointF(W - 0.5, 0.5), QPointF(0.5, H - 0.5),
                                QPointF(W - 0.5, H - 0.5), QPointF(W / 2.0, H / 2.0)}) {
            // The top displayed row is FITS row H.
            const std::optional<SkyCoord> an = anSky(other, {p.x() + 0.5, H - p.y() + 0.5});
            worst = std::max(worst, arcsec(wcs.pictureToSky(p), an));
            // And back: wcslib inverts the distortion to a thousandth of a pixel.
            const std::optional<QPointF> back = wcs.skyToPicture(*wcs.pictureToSky(p));
            QVERIFY(back && QLineF(*back, p).length() < 1e-3);
        }
        qInfo("largest difference from wcs-xy2rd: %.4f\"", worst);
        QVERIFY2(worst < 0.1, qPrintable(QString::number(worst)));
        const ScaleHint hint = ScaleHintFromHeader(file);
        QCOMPARE(hint.known(), scale > 0);
        if (scale > 0) {
            QVERIFY(hint.low < scale && hint.high > scale);
            QVERIFY(std::fabs(std::sqrt(hint.low * hint.high) - scale) < 0.02 * scale);
        }
    }

    void plateFacts_data() {
        DataTable<double>("rotation")
            .row("upright", 0)
            .row("north up-left", 10)
            .row("upside down", 180)
            .row("north right", -90);
    }
    // The four txtInfo lines from a WCS have the two-star solution's form and the picture's
    // figures: centre, whole degrees, pixels, and the angle of north from the picture's up.
    void plateFacts() {
        QFETCH(double, rotation);
        const TanPicture tan{(5 * 15 + 35.3 / 4) * Rad, (22 + 1 / 60.0) * Rad, 2.5, rotation, W, H};
        const SkyWcs wcs = tanWcs(tan);
        const PlateFacts facts = wcs.plateFacts();
        QVERIFY(std::fabs(facts.widthDeg - 2.5) < 1e-6);
        QVERIFY(std::fabs(facts.heightDeg - 2 * std::atan(std::tan(1.25 * Rad) / 1.5) / Rad) < 1e-6);
        QVERIFY2(std::fabs(std::remainder(facts.angle / Rad - rotation, 360)) < 0.001,
                 qPrintable(QString::number(facts.angle / Rad)));
        const QString lines = PlateInfoLines(facts) + PlateAngleLine(facts.angle);
        QVERIFY2(lines.startsWith("центр: 05h 35.3m  +22°01'\r\nразмер в градусах  2 x  1\r\n"
                                  "размер в пикселах  1500 x  1000\r\n"),
                 qPrintable(lines));
        const QRegularExpressionMatch angle =
            QRegularExpression("полюс (-?[0-9]+\\.[0-9]{3})\r\n$").match(lines);
        QVERIFY2(angle.hasMatch(), qPrintable(lines));
        QCOMPARE(std::fabs(std::remainder(angle.captured(1).toDouble() - rotation, 360)), 0.0);
        // The pixel scale, from which a later solve takes its hint.
        const double scale = 2 * std::tan(1.25 * Rad) / W / Rad * 3600;
        QVERIFY(std::fabs(wcs.arcsecPerPixel() - scale) < 1e-3);
        QVERIFY(ScaleHintFromWcs(wcs).low < scale && ScaleHintFromWcs(wcs).high > scale);
        QVERIFY_THROWS_EXCEPTION(VorlanError, SkyWcs().plateFacts());
    }

    void projectLines_data() {
        DataTable<bool, bool, int>("header", "solved", "source")
            .row("no WCS: nothing, written as before", false, false, int(SkySource::TwoStars))
            .row("header in force: the source only", true, false, int(SkySource::HeaderWcs))
            .row("solved, two stars made later", true, true, int(SkySource::TwoStars));
    }
    // A project keeps the source in force and a solved WCS, distortion included, on lines of its
    // own keyword; a registration line between them changes nothing, and is read itself.
    void projectLines() {
        QFETCH(bool, header);
        QFETCH(bool, solved);
        QFETCH(int, source);
        const TanPicture tan{120 * Rad, 33 * Rad, 2.0, -40, W, H};
        const SkyWcs wcs = tanWcs(tan, withSip(tanHeaderCards(tan)));
        const PictureSky sky{SkySource(source), header ? wcs : SkyWcs(), solved ? wcs : SkyWcs()};
        QStringList kept = ProjectSkyLines(sky);
        QCOMPARE(kept.size() > 1, solved);
        QCOMPARE(kept.isEmpty(), !header && !solved);
        for (const QString& line : kept)
            QVERIFY2(line.startsWith("WCS1 ") && line.size() <= 5 + 5 + 80, qPrintable(line));
        // An automatic registration's line among them: each reader passes over the other's.
        kept.insert(kept.size() / 2, registrationLine(3, {0.5, 0.1, 12, -3, true}));
        const QList<RegistrationLine> registered = readRegistrationLines(kept);
        QVERIFY(registered.size() == 1 && registered[0].picture == 3 && registered[0].toPicture1.mirrored);
        const StoredSky stored = ReadProjectSkyLines(kept);
        QCOMPARE(int(stored.source), header || solved ? source : int(SkySource::None));
        QCOMPARE(stored.solved.isValid(), solved);
        for (const QPointF p : {QPointF(0.5, 0.5), QPointF(1499.5, 999.5)})
            QVERIFY(!solved || arcsec(stored.solved.pictureToSky(p), wcs.pictureToSky(p)) < 1e-6);
        // Headers without a celestial WCS read as none.
        const Outcome<SkyWcs> none = SkyWcs::fromHeaderText("CTYPE1  = 'GLON-TAN'\nCTYPE2  = 'GLAT-TAN'");
        QVERIFY(!none.ok() && !none.reason().isEmpty() && none.failure().number == SkyWcs::NoWcsNumber);
        QVERIFY(!SkyWcs().isValid() && !SkyWcs().pictureToSky({1, 1}));
        QVERIFY(!SkyWcs::fromFitsFile(dir.filePath("missing.fits")).ok());
    }

    // changes: cards put in place of tan's; reason: a part of the refusal, empty: taken.
    void refusesBrokenHeaders_data() {
        DataTable<QString, QString>("changes", "reason")
            .row("sound but for its EQUINOX", "CRVAL2 = 20", "")
            .row("NaN right ascension", "CRVAL1 = NAN", "карточки не читаются: CRVAL1  = NAN")
            .row("infinite reference pixel", "CRPIX1 = INF", "CRPIX1  = INF")
            .row("reference pixel out of range", "CRPIX2 = 1E999", "CRPIX2 не число")
            .row("all-zero CD matrix", "CD1_1 = 0|CD1_2 = 0|CD2_1 = 0|CD2_2 = 0", "матрица CD нулевая")
            .row("CD matrix of one direction", "CD1_1 = 1E-3|CD1_2 = 1E-3|CD2_1 = 1E-3|CD2_2 = 1E-3",
                 "вырождена")
            .row("declination beyond the pole", "CRVAL2 = 95", "CRVAL2 = 95 за полюсом");
    }
    // A WCS that would put a picture at a wrong place (00h00m, shifted, 148° wide) is refused
    // with the card or value to blame; a sound one keeps its catalogue through a project.
    void refusesBrokenHeaders() {
        QFETCH(QString, changes);
        QFETCH(QString, reason);
        const TanPicture tan{150 * Rad, 20 * Rad, 1.0, 0, 400, 300};
        QStringList header = tanHeaderCards(tan) << "COMMENT index id: 4110"
                                                 << "EQUINOX = 'J2000'";
        for (const QString& card : cards(changes))
            header.replaceInStrings(QRegularExpression("^" + card.left(8) + "=.*"), card);
        QCOMPARE(writeFitsWithCards(dir.filePath("broken.fits"), blankPicture(400, 300), header), 0);
        const Outcome<SkyWcs> read = SkyWcs::fromFitsFile(dir.filePath("broken.fits"));
        QVERIFY(read.ok() == reason.isEmpty());
        QVERIFY2(reason.isEmpty() ||
                     (read.reason().contains(reason) && read.failure().number == SkyWcs::RefusedWcsNumber),
                 qPrintable(read.reason()));
        if (reason.isEmpty()) {
            QVERIFY(read.value().pictureToSky({200, 150}).has_value());
            QCOMPARE(SkyWcs::fromHeaderText(read.value().toHeaderText()).value().catalogue(),
                     QString("Tyc2"));
        }
    }

    // Picture 2's centre shiftDeg east of picture 1's, its north turned counter-clockwise by turn
    // degrees, field degrees wide (picture 1: 2°).
    void registrationFromWcs_data() {
        DataTable<double, double, double, bool>("shiftDeg", "turn", "field", "mirrored")
            .row("nearly the same field", 0, 0, 2, false)
            .row("turned 25°, scaled 1.1, shifted", 0.4, 25, 2.2, false)
            .row("mirrored chart, turned", -0.3, 40, 1.6, true)
            .row("half overlapping", 1.5, 10, 2, false)
            .row("apart", 8, 0, 2, false);
    }
    // The transform two WCSs imply carries what picture 2 shows onto where picture 1 shows it,
    // within half a pixel over 2° fields (two gnomonic projections differ by a perspective no
    // similarity holds); pictures apart say so.
    void registrationFromWcs() {
        QFETCH(double, shiftDeg);
        QFETCH(double, turn);
        QFETCH(double, field);
        QFETCH(bool, mirrored);
        const TanPicture two{
            (150 + shiftDeg / std::cos(20 * Rad)) * Rad, 20.1 * Rad, field, 12 + turn, 1200, 900};
        const SkyWcs wcs1 = tanWcs({150 * Rad, 20 * Rad, 2.0, 12, W, H}),
                     wcs2 = tanWcs(two, mirrored ? mirroredCards(tanHeaderCards(two)) : tanHeaderCards(two));
        const Outcome<WcsRegistration> registered = RegistrationFromWcs(wcs1, wcs2);
        QCOMPARE(registered.ok(), shiftDeg < 3);
        QCOMPARE(registered.reason().isEmpty(), registered.ok());
        if (!registered.ok()) return;
        const WcsRegistration& r = registered.value();
        QCOMPARE(r.transform.mirrored, mirrored);
        QVERIFY(std::fabs(r.transform.scale() - field / 2.0 * 1500 / 1200) < 0.01);
        // Off the fitted grid.
        double worst = 0;
        int checked = 0;
        for (int k = 0; k < 49; ++k) {
            const QPointF p2(k % 7 * 170 + 37, k / 7 * 128 + 23);
            const std::optional<QPointF> p1 = wcs1.skyToPicture(*wcs2.pictureToSky(p2));
            if (!p1 || !QRectF(0, 0, W, H).contains(*p1)) continue;
            worst = std::max(worst, QLineF(r.transform.map(p2), *p1).length());
            ++checked;
        }
        qInfo("largest miss %.3f px at %d points, residual %.3f px over %d", worst, checked, r.rmsPixels,
              r.points);
        QVERIFY(checked >= 5 && r.points >= 40 && worst < 0.5 && r.rmsPixels < 0.5);
    }
};

QTEST_GUILESS_MAIN(TestSkyWcs)
#include "tst_skywcs.moc"
