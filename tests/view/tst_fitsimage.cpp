#include "support/files.h"
#include "support/linearsky.h"
#include "view/fitsimage.h"
#include "view/linearstretch.h"
#include "view/picturefile.h"
#include "view/stretchcurve.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr qint64 Plenty = qint64(1) << 32;

int level(const QImage& img, int x, int y, int channel = 0) {
    if (img.format() == QImage::Format_Grayscale8) return img.constScanLine(y)[x];
    const QRgb c = img.pixel(x, y);
    return channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
}

/// The median level of a channel over the pixels where keep(x, y) holds.
template <class Keep> int medianLevel(const QImage& img, int channel, Keep keep) {
    std::vector<int> levels;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (keep(x, y)) levels.push_back(level(img, x, y, channel));
    std::nth_element(levels.begin(), levels.begin() + qsizetype(levels.size() / 2), levels.end());
    return levels[levels.size() / 2];
}

/// One kind of FITS image: how its values are stored, and the sky and star it holds (the
/// values as stored after scaling).
struct FitsCase {
    int bitpix;
    double bzero, bscale;
    bool compressed;
    bool blanks; ///< a block of BLANK (or NaN) pixels
    int planes;
    bool afterEmptyPrimary; ///< the image in an extension after an empty primary header
    double background, sigma, peak;
};

} // namespace

Q_DECLARE_METATYPE(FitsCase)

class TestFitsImage : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void everyKindOfImageShowsItsSkyAndStar_data() {
        QTest::addColumn<FitsCase>("c");
        QTest::newRow("8-bit") << FitsCase{int(BYTE_IMG), 0.0, 1.0, false, false, 1, false, 40.0, 3.0, 250.0};
        QTest::newRow("16-bit signed")
            << FitsCase{int(SHORT_IMG), 0.0, 1.0, false, false, 1, false, -20000.0, 30.0, 30000.0};
        QTest::newRow("16-bit unsigned (BZERO)")
            << FitsCase{int(USHORT_IMG), 0.0, 1.0, false, false, 1, false, 1000.0, 30.0, 60000.0};
        QTest::newRow("16-bit scaled")
            << FitsCase{int(SHORT_IMG), 100.0, 0.5, false, false, 1, false, 2000.0, 20.0, 16000.0};
        QTest::newRow("32-bit integer")
            << FitsCase{int(LONG_IMG), 0.0, 1.0, false, false, 1, false, 100000.0, 300.0, 5e6};
        QTest::newRow("64-bit integer")
            << FitsCase{int(LONGLONG_IMG), 0.0, 1.0, false, false, 1, false, -1e6, 500.0, 1e9};
        QTest::newRow("32-bit float")
            << FitsCase{int(FLOAT_IMG), 0.0, 1.0, false, false, 1, false, 0.02, 0.001, 1.0};
        QTest::newRow("64-bit float")
            << FitsCase{int(DOUBLE_IMG), 0.0, 1.0, false, false, 1, false, -5.0, 0.2, 300.0};
        QTest::newRow("tile-compressed 16-bit")
            << FitsCase{int(USHORT_IMG), 0.0, 1.0, true, false, 1, false, 1000.0, 30.0, 60000.0};
        QTest::newRow("tile-compressed float")
            << FitsCase{int(FLOAT_IMG), 0.0, 1.0, true, false, 1, false, 0.02, 0.001, 1.0};
        QTest::newRow("BLANK pixels")
            << FitsCase{int(SHORT_IMG), 0.0, 1.0, false, true, 1, false, 1000.0, 30.0, 30000.0};
        QTest::newRow("BLANK pixels, compressed")
            << FitsCase{int(SHORT_IMG), 0.0, 1.0, true, true, 1, false, 1000.0, 30.0, 30000.0};
        QTest::newRow("NaN pixels") << FitsCase{int(FLOAT_IMG), 0.0,  1.0,   false, true, 1,
                                                false,          0.02, 0.001, 1.0};
        QTest::newRow("three-plane colour cube")
            << FitsCase{int(USHORT_IMG), 0.0, 1.0, false, false, 3, false, 1000.0, 30.0, 60000.0};
        QTest::newRow("image in an extension")
            << FitsCase{int(FLOAT_IMG), 0.0, 1.0, false, false, 1, true, 0.02, 0.001, 1.0};
    }
    void everyKindOfImageShowsItsSkyAndStar() {
        QFETCH(FitsCase, c);
        const auto& [bitpix, bzero, bscale, compressed, blanks, planes, afterEmptyPrimary, background, sigma,
                     peak] = c;
        const int w = 120, h = 90;
        // One star near the bottom left; FITS row 1 is the bottom, so it must be shown there.
        const QPoint star(10, h - 6);
        const QRect blankBlock(w - 20, 0, 20, 12);
        LinearData d = linearStarField(w, h, 0, background, sigma, peak, 11);
        d.planes = planes;
        for (int c = 1; c < planes; ++c) // green and blue skies brighter than red: a colour cast
            for (int i = 0; i < w * h; ++i)
                d.values.push_back(d.values[size_t(i)] + c * 10 * sigma);
        for (int c = 0; c < planes; ++c)
            for (int y = star.y() - 2; y <= star.y() + 2; ++y)
                for (int x = star.x() - 2; x <= star.x() + 2; ++x)
                    d.at(x, y, c) =
                        x == star.x() && y == star.y() ? peak : background + (peak - background) / 4;
        if (blanks)
            for (int y = blankBlock.top(); y <= blankBlock.bottom(); ++y)
                for (int x = blankBlock.left(); x <= blankBlock.right(); ++x)
                    d.at(x, y) = NAN;
        const QString path = dir.filePath(QStringLiteral("image.fits"));
        QCOMPARE(
            writeFits(path, d, {bitpix, bzero, bscale, compressed, blanks && bitpix > 0}, afterEmptyPrimary),
            0);

        const DecodedPicture p = decodeFitsFile(path, Plenty, QImage::Format_Grayscale8);
        QCOMPARE(p.reason(), QString());
        const QImage image = p.value();
        QCOMPARE(image.size(), QSize(w, h));
        QCOMPARE(image.format(), planes == 3 ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
        auto sky = [&](int x, int y) {
            return !blankBlock.contains(x, y) && (std::abs(x - star.x()) > 3 || std::abs(y - star.y()) > 3);
        };
        for (int c = 0; c < (planes == 3 ? 3 : 1); ++c) {
            const int skyLevel = medianLevel(image, c, sky);
            QVERIFY2(skyLevel >= 30 && skyLevel <= 46, qPrintable(QString::number(skyLevel)));
        }
        QVERIFY(level(image, star.x(), star.y()) > 200);
        QVERIFY(level(image, star.x(), h - 1 - star.y()) < 100);
        if (planes == 3) { // the star is white: every plane has it, on its own curve
            QVERIFY(level(image, star.x(), star.y(), 1) > 200);
            QVERIFY(level(image, star.x(), star.y(), 2) > 200);
        }
        if (blanks) {
            QCOMPARE(level(image, blankBlock.left(), blankBlock.top()), 0);
            QCOMPARE(level(image, blankBlock.right(), blankBlock.bottom()), 0);
        }
    }

    void linearStarFieldIsStretchedAndEightBitKept_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("FITS, unsigned 16-bit") << "field.fits";
        QTest::newRow("16-bit PNG") << "field.png";
        QTest::newRow("16-bit TIFF") << "field.tif";
        QTest::newRow("8-bit PNG stays as it is") << "field8.png";
    }
    void linearStarFieldIsStretchedAndEightBitKept() {
        QFETCH(QString, name);
        const LinearData d = linearStarField(400, 300, 40, 1000, 30, 60000, 5);
        const QString path = dir.filePath(name);
        const QImage sixteen = sixteenBitPicture(d);
        const QImage eight = sixteen.convertToFormat(QImage::Format_Grayscale8);
        if (name.endsWith(".fits"))
            QCOMPARE(writeFits(path, d, {}), 0);
        else
            QVERIFY((name.contains('8') ? eight : sixteen).save(path));

        const DecodedPicture p = decodePictureFile(path);
        QCOMPARE(p.reason(), QString());
        const QImage image = p.value();
        QCOMPARE(image.size(), QSize(400, 300));
        QCOMPARE(image.format(), QImage::Format_Grayscale8); // grey data stays one byte a pixel
        if (name.contains('8')) {
            QCOMPARE(image, eight);
            return;
        }
        const int sky = medianLevel(image, 0, [](int, int) { return true; });
        QVERIFY2(sky >= 20 && sky <= 60, qPrintable(QString::number(sky)));
        for (const auto& s : d.stars)
            QVERIFY2(level(image, s.x, s.y) > 200, qPrintable(QString("star at %1, %2").arg(s.x).arg(s.y)));
    }

    void curveLandsTheBackgroundOnTheTarget_data() {
        QTest::addColumn<double>("median");
        QTest::addColumn<double>("mad");
        QTest::addColumn<double>("lowest");
        QTest::addColumn<double>("highest");
        QTest::addColumn<double>("shadows");
        QTest::addColumn<int>("medianLevel");
        QTest::newRow("sky 1000, noise 30")
            << 1000.0 << 20.0 << 800.0 << 60000.0 << 1000 - 2.8 * 1.4826 * 20 << 38;
        QTest::newRow("shadows stop at the darkest sample")
            << 1000.0 << 200.0 << 900.0 << 60000.0 << 900.0 << 38;
        QTest::newRow("noiseless background: linear from it") << 0.0 << 0.0 << 0.0 << 255.0 << 0.0 << 0;
        QTest::newRow("one value everywhere") << 7.0 << 0.0 << 7.0 << 7.0 << 7.0 << 38;
    }
    void curveLandsTheBackgroundOnTheTarget() {
        QFETCH(double, median);
        QFETCH(double, mad);
        QFETCH(double, lowest);
        QFETCH(double, highest);
        QFETCH(double, shadows);
        QFETCH(int, medianLevel);
        const StretchCurve c = StretchCurve::fromStatistics(median, mad, lowest, highest);
        QVERIFY(std::abs(c.shadows - shadows) < 1e-9);
        QCOMPARE(int(c.toByte(median)), medianLevel);
        QCOMPARE(int(c.toByte(highest)), c.flat ? 38 : 255);
        QCOMPARE(int(c.toByte(lowest - 1)), c.flat ? 38 : 0);
        // Brighter data is never shown darker.
        int last = 0;
        for (double v = lowest; v <= highest; v += (highest - lowest) / 997 + 1e-9) {
            QVERIFY(c.toByte(v) >= last);
            last = c.toByte(v);
        }
    }

    void damagedAndForeignFilesAreRefusedByReason_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        LinearData d = linearStarField(100, 80, 5, 1000, 30, 60000, 3);
        const QString good = dir.filePath("good.fits");
        writeFits(good, d, {});
        const QByteArray whole = readFile(good);
        QTest::newRow("text named .fits") << QByteArray("just some text, not a picture") << "это не картинка";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("data cut short") << whole.left(2880 + 5000) << "кончается раньше";
        QTest::newRow("header cut short") << whole.left(1000) << "";
        writeFits(good, d, {USHORT_IMG, 0, 1, true});
        const QByteArray compressed = readFile(good);
        QTest::newRow("compressed, cut short") << compressed.left(compressed.size() - 3000) << "";
        // Tiles of no size: cfitsio divides by it and dies; the program must not.
        QByteArray zeroTile = compressed;
        const qsizetype tile = zeroTile.indexOf("ZTILE1  =");
        zeroTile.replace(tile + 10, 20, QByteArray("0").rightJustified(20, ' '));
        QTest::newRow("compressed, tiles of no size") << zeroTile << "повреждён";
        // An empty primary HDU and a binary table: no picture anywhere.
        QFile::remove(good);
        int status = 0;
        fitsfile* f = nullptr;
        fits_create_file(&f, QFile::encodeName(good).constData(), &status);
        fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
        char* types[] = {const_cast<char*>("MAG")};
        char* forms[] = {const_cast<char*>("1E")};
        fits_create_tbl(f, BINARY_TBL, 3, 1, types, forms, nullptr, "STARS", &status);
        fits_close_file(f, &status);
        QTest::newRow("only a table") << readFile(good) << "нет двумерного изображения";
        auto header = [](const QStringList& cards) {
            QByteArray h;
            for (const QString& c : cards + QStringList{"END"})
                h += c.toLatin1().leftJustified(80, ' ');
            return h.leftJustified(2880, ' ');
        };
        QTest::newRow("four axes") << header(
                                          {"SIMPLE  =                    T", "BITPIX  =                   16",
                                           "NAXIS   =                    4", "NAXIS1  =                    2",
                                           "NAXIS2  =                    2", "NAXIS3  =                    2",
                                           "NAXIS4  =                    2"}) +
                                          QByteArray(2880, 0)
                                   << "нет двумерного изображения";
        QTest::newRow("header promises 200000 x 200000")
            << header({"SIMPLE  =                    T", "BITPIX  =                   16",
                       "NAXIS   =                    2", "NAXIS1  =               200000",
                       "NAXIS2  =               200000"})
            << "200000 × 200000 пикселей слишком велика";
    }
    void damagedAndForeignFilesAreRefusedByReason() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = dir.filePath("bad.fits");
        QVERIFY(writeFile(path, bytes));
        const DecodedPicture p = decodePictureFile(path);
        QVERIFY(!p.ok());
        QCOMPARE(p.failure().number, int(BadFile));
        QVERIFY2(p.reason().contains(reason), qPrintable(p.reason()));
    }

    void mangledFilesNeverCrash_data() {
        QTest::addColumn<int>("layout");
        QTest::newRow("16-bit") << 0;
        QTest::newRow("tile-compressed 16-bit") << 1;
        QTest::newRow("tile-compressed float") << 2;
        QTest::newRow("16-bit with BLANK") << 3;
    }
    void mangledFilesNeverCrash() {
        QFETCH(int, layout);
        const FitsLayout layouts[] = {
            {}, {USHORT_IMG, 0, 1, true}, {FLOAT_IMG, 0, 1, true}, {SHORT_IMG, 0, 1, false, true}};
        const QString path = dir.filePath("mangled.fits");
        LinearData d = linearStarField(64, 40, 5, 1000, 30, 30000, 3);
        if (layout >= 2) d.at(3, 3) = NAN; // a blank pixel where the layout can hold one
        QCOMPARE(writeFits(path, d, layouts[layout]), 0);
        const QByteArray original = readFile(path);
        QRandomGenerator rng(1000 + layout);
        int loaded = 0;
        for (int i = 0; i < 100; ++i) {
            // Stray bytes, stray digits and signs in header values, cuts and insertions, mostly in
            // the headers, where cfitsio trusts what it reads.
            QByteArray bytes = original;
            for (int m = 1 + rng.bounded(8); m > 0; --m) {
                const int at =
                    rng.bounded(int(std::min<qsizetype>(bytes.size(), rng.bounded(2) ? 5760 : bytes.size())));
                switch (rng.bounded(4)) {
                case 0:
                    bytes[at] = char(rng.bounded(256));
                    break;
                case 1:
                    bytes[at] = "0123456789-+ .E"[rng.bounded(15)];
                    break;
                case 2:
                    bytes.truncate(at + 1);
                    break;
                default:
                    bytes.insert(at, QByteArray(rng.bounded(100), char(rng.bounded(256))));
                }
            }
            QVERIFY(writeFile(path, bytes));
            const DecodedPicture p = decodePictureFile(path);
            // a picture, or a reason
            QVERIFY(p.ok() ? !p.value().isNull() : !p.reason().isEmpty());
            loaded += p.ok();
        }
        QVERIFY(loaded > 0); // the mangling leaves some files readable: the readable path is exercised too
    }

    void headerIsCheckedAgainstTheBudgetBeforeReading() {
        const QString path = dir.filePath("budget.fits");
        QCOMPARE(writeFits(path, linearStarField(200, 100, 3, 1000, 30, 60000, 9), {}), 0);
        // A one-byte picture of 200 x 100: 20000 bytes, and what the stretch works in; the linear
        // data passes in bands of rows.
        const qint64 needed = 20000 + stretchWorkingBytes(200, 2);
        QVERIFY(decodeFitsFile(path, needed, QImage::Format_Grayscale8).ok());
        const DecodedPicture refused = decodeFitsFile(path, needed - 1, QImage::Format_Grayscale8);
        QVERIFY(!refused.ok());
        QVERIFY(refused.reason().contains("200 × 100"));
    }
};

QTEST_GUILESS_MAIN(TestFitsImage)
#include "tst_fitsimage.moc"
