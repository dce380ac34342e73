// The WCS of a picture through wcslib, checked against astrometry.net's own implementation
// (wcs-xy2rd) on the same files, and the picture frames, text form and txtInfo facts built on it.

#include "common/vorlanerror.h"
#include "sky/platesolution.h"
#include "sky/platesolver.h"
#include "sky/skywcs.h"
#include "support/wcsheader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int W = 1500, H = 1000;

/// FITS cards from "KEY = value" texts with bars between them: each key padded to eight characters.
QStringList cards(const QString& barred) {
    QStringList out;
    for (const QString& c : barred.split('|'))
        out << QString("%1= %2").arg(c.section('=', 0, 0).trimmed(), -8).arg(c.section('=', 1).trimmed());
    return out;
}

/// A camera's distortion as astrometry.net fits it, second and third order, 6" at the corners,
/// with an inverse polynomial beside it.
const QStringList Sip =
    cards("A_ORDER = 3|A_0_2 = 5.0E-7|A_1_1 = 1.0E-6|A_2_0 = 2.0E-6|A_3_0 = 1.1E-9|"
          "A_1_2 = -7.0E-10|B_ORDER = 3|B_0_2 = 2.0E-6|B_1_1 = -8.0E-7|B_2_0 = 6.0E-7|"
          "B_0_3 = 1.2E-9|B_2_1 = 5.0E-10|AP_ORDER = 2|AP_0_2 = -5.0E-7|AP_1_1 = -1.0E-6|"
          "AP_2_0 = -2.0E-6|BP_ORDER = 2|BP_0_2 = -2.0E-6|BP_1_1 = 8.0E-7|BP_2_0 = -6.0E-7");

QStringList withSip(QStringList tan) {
    tan.replaceInStrings("'RA---TAN'", "'RA---TAN-SIP'").replaceInStrings("'DEC--TAN'", "'DEC--TAN-SIP'");
    return tan + Sip;
}

/// astrometry.net's position of a FITS pixel.
std::optional<SkyCoord> anSky(const QString& file, QPointF fits) {
    QProcess run;
    run.start("wcs-xy2rd",
              {"-w", file, "-x", QString::number(fits.x(), 'f', 6), "-y", QString::number(fits.y(), 'f', 6)});
    run.waitForFinished(10000);
    // "Pixel (1.000000, 1.000000) -> RA,Dec (84.12345, -1.2345)"
    static const QRegularExpression re(R"(RA,Dec \(([-0-9.eE+]+), ([-0-9.eE+]+)\))");
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(run.readAllStandardOutput()));
    if (!m.hasMatch()) return std::nullopt;
    return SkyCoord{m.captured(1).toDouble() * Rad, m.captured(2).toDouble() * Rad};
}

double arcsec(std::optional<SkyCoord> a, std::optional<SkyCoord> b) {
    return a && b ? arcMinutesBetween(a->ra, a->dec, b->ra, b->dec) * 60 : 1e9;
}

} // namespace

class TestSkyWcs : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void agreesWithAstrometryNet_data() {
        QTest::addColumn<QStringList>("cards");
        // What astrometry.net reads instead, for a form it does not know; empty: the same file.
        QTest::addColumn<QStringList>("reference");
        const TanPicture orion{84 * Rad, -1.2 * Rad, 2.0, 23.0, W, H};
        QTest::newRow("TAN-SIP, CD matrix") << withSip(tanHeaderCards(orion)) << QStringList();
        QTest::newRow("TAN-SIP near the pole, across 0h")
            << withSip(tanHeaderCards({2 * Rad, 88.5 * Rad, 3.0, -71, W, H})) << QStringList();
        // The same field mirrored (a picture taken through a diagonal): CD1_1 > 0.
        QStringList mirrored = withSip(tanHeaderCards(orion));
        mirrored.replaceInStrings(QRegularExpression("^(CD1_[12]\\s*=\\s*)-"), "\\1 ");
        QTest::newRow("TAN-SIP mirrored") << mirrored << QStringList();
        const QString common = "CTYPE1 = 'RA---TAN'|CTYPE2 = 'DEC--TAN'|CRPIX1 = 801.25|CRPIX2 = 470.5|"
                               "CRVAL1 = 201.5|CRVAL2 = -43.02|";
        // astrometry.net ignores CROTA2: it reads the CD matrix the standard derives from it,
        // CD = [[CDELT1 cos r, -CDELT2 sin r], [CDELT1 sin r, CDELT2 cos r]].
        const double c = 0.0013333333 * std::cos(-12.5 * Rad), s = 0.0013333333 * std::sin(-12.5 * Rad);
        QTest::newRow("TAN, CDELT and CROTA2")
            << cards(common + "CDELT1 = -0.0013333333|CDELT2 = 0.0013333333|CROTA2 = -12.5")
            << cards(common + QString("CD1_1 = %1|CD1_2 = %2|CD2_1 = %2|CD2_2 = %3")
                                  .arg(-c, 0, 'G', 17)
                                  .arg(-s, 0, 'G', 17)
                                  .arg(c, 0, 'G', 17));
        QTest::newRow("TAN, PC and CDELT")
            << cards(common + "CDELT1 = -0.0014|CDELT2 = 0.0014|PC1_1 = 0.96592582628907|"
                              "PC1_2 = 0.25881904510252|PC2_1 = -0.25881904510252|PC2_2 = 0.96592582628907")
            << QStringList();
    }
    // Corners and centre of the displayed picture, taken through the display flip and the
    // readout's twips at two zooms, agree with astrometry.net on the same file within 0.1".
    void agreesWithAstrometryNet() {
        QFETCH(QStringList, cards);
        QFETCH(QStringList, reference);
        const QString file = dir.filePath("picture.fits"), other = dir.filePath("reference.fits");
        QCOMPARE(writeFitsWithCards(file, blankPicture(W, H), cards), 0);
        QCOMPARE(writeFitsWithCards(other, blankPicture(W, H), reference.isEmpty() ? cards : reference), 0);
        const SkyWcs wcs = SkyWcs::fromFitsFile(file);
        QVERIFY2(wcs.isValid(), qPrintable(wcs.reason()));
        QCOMPARE(wcs.width(), W);
        QCOMPARE(wcs.height(), H);
        const bool sip = cards.first().contains("SIP");
        QCOMPARE(wcs.projection(), sip ? QString("TAN-SIP") : QString("TAN"));
        // The distortion is in effect: without it the corners move by pixels.
        QStringList plain = cards.filter(QRegularExpression("^(?!A_|B_|AP_|BP_)"));
        const SkyWcs undistorted = SkyWcs::fromHeaderText(plain.replaceInStrings("-SIP'", "'").join('\n'));
        QCOMPARE(arcsec(undistorted.fitsToSky({1, 1}), wcs.fitsToSky({1, 1})) > 3, sip);
        // Centres of the top-left, top-right, bottom-left, bottom-right pixels, and the centre.
        double worst = 0;
        for (const QPointF p : {QPointF(0.5, 0.5), QPointF(W - 0.5, 0.5), QPointF(0.5, H - 0.5),
                                QPointF(W - 0.5, H - 0.5), QPointF(W / 2.0, H / 2.0)}) {
            // The top displayed row is FITS row H.
            const std::optional<SkyCoord> an = anSky(other, {p.x() + 0.5, H - p.y() + 0.5});
            worst = std::max(worst, arcsec(wcs.pictureToSky(p), an));
            for (float zoom : {1.0f, 0.37f})
                worst = std::max(
                    worst,
                    arcsec(wcs.skyAtTwips(float(p.x() * 15 * zoom), float(p.y() * 15 * zoom), zoom), an));
            // And back: wcslib inverts the distortion to a thousandth of a pixel.
            const std::optional<QPointF> back = wcs.skyToPicture(*wcs.pictureToSky(p));
            QVERIFY(back && QLineF(*back, p).length() < 1e-3);
        }
        qInfo("largest difference from wcs-xy2rd: %.4f\"", worst);
        QVERIFY2(worst < 0.1, qPrintable(QString::number(worst)));
    }

    // The text form for projects and the .wcs file both give back the same mapping, distortion
    // included; a header with no celestial WCS reads as none.
    void textAndFileKeepTheMapping() {
        const TanPicture tan{300 * Rad, 60 * Rad, 2.0, 140, W, H};
        const SkyWcs wcs = SkyWcs::fromHeaderText(withSip(tanHeaderCards(tan)).join('\n') +
                                                  "\nNAXIS1  = 1500\nNAXIS2  = 1000");
        QVERIFY2(wcs.isValid(), qPrintable(wcs.reason()));
        const QString text = wcs.toHeaderText();
        QVERIFY2(text.contains("A_2_0") && text.contains("IMAGEW"), qPrintable(text));
        const QString wcsFile = dir.filePath("picture.wcs");
        QCOMPARE(wcs.writeWcsFile(wcsFile), QString());
        SkyWcs copy = wcs;
        for (const SkyWcs& other : {SkyWcs::fromHeaderText(text), SkyWcs::fromFitsFile(wcsFile), copy}) {
            QVERIFY(other.isValid());
            QCOMPARE(other.height(), H);
            for (const QPointF p : {QPointF(3, 990), QPointF(1400, 20), QPointF(750, 500)})
                QVERIFY(arcsec(other.pictureToSky(p), wcs.pictureToSky(p)) < 1e-6);
        }
        const SkyWcs none =
            SkyWcs::fromHeaderText("SIMPLE  = T\nNAXIS   = 2\nCTYPE1  = 'GLON-TAN'\nCTYPE2  = 'GLAT-TAN'");
        QVERIFY(!none.isValid());
        QVERIFY(!none.reason().isEmpty());
        QVERIFY(!none.pictureToSky({1, 1}));
        QVERIFY(!SkyWcs::fromFitsFile(dir.filePath("missing.fits")).isValid());
    }

    void plateFacts_data() {
        QTest::addColumn<double>("rotation");
        QTest::newRow("upright") << 0.0;
        QTest::newRow("north up-left") << 10.0;
        QTest::newRow("upside down") << 180.0;
        QTest::newRow("north right") << -90.0;
    }
    // The four txtInfo lines from a WCS have the two-star solution's form and the picture's
    // figures: centre, whole degrees, pixels, and the angle of north from the picture's up.
    void plateFacts() {
        QFETCH(double, rotation);
        const TanPicture tan{(5 * 15 + 35.3 / 4) * Rad, (22 + 1 / 60.0) * Rad, 2.5, rotation, W, H};
        const SkyWcs wcs =
            SkyWcs::fromHeaderText(tanHeaderCards(tan).join('\n') + "\nIMAGEW  = 1500\nIMAGEH  = 1000");
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

    void scaleHintFromHeader_data() {
        QTest::addColumn<QString>("optics");
        QTest::addColumn<double>("scale"); // arc-seconds per pixel, 0: no hint
        QTest::newRow("XPIXSZ, binned as written") << "FOCALLEN = 400.|XPIXSZ = 3.76" << 1.9389;
        QTest::newRow("PIXSIZE1 times XBINNING") << "FOCALLEN = 400.|PIXSIZE1 = 3.76|XBINNING = 2" << 3.8778;
        QTest::newRow("no focal length") << "XPIXSZ = 3.76" << 0.0;
        QTest::newRow("zero focal length") << "FOCALLEN = 0.|XPIXSZ = 3.76" << 0.0;
    }
    void scaleHintFromHeader() {
        QFETCH(QString, optics);
        QFETCH(double, scale);
        const QString file = dir.filePath("optics.fits");
        QCOMPARE(writeFitsWithCards(file, blankPicture(16, 16), cards(optics)), 0);
        const ScaleHint hint = ScaleHintFromHeader(file);
        QCOMPARE(hint.known(), scale > 0);
        if (scale > 0) {
            QVERIFY(hint.low < scale && hint.high > scale);
            QVERIFY(std::fabs(std::sqrt(hint.low * hint.high) - scale) < 0.02 * scale);
        }
    }
};

QTEST_GUILESS_MAIN(TestSkyWcs)
#include "tst_skywcs.moc"
