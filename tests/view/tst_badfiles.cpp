// Damaged and hostile picture files, loaded through the menu as a user does: each is refused
// with a true reason in Russian, and the slot keeps the picture, name and points it had.

#include "shell/clicklabel.h"
#include "support/badpictures.h"
#include "support/datatable.h"
#include "support/exifjpeg.h"
#include "support/files.h"
#include "support/linearsky.h"
#include "support/ordinaryuser.h"
#include "support/windowtest.h"
#include "view/imageframe.h"
#include "view/picturefile.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>
#include <sys/resource.h>

using namespace vorlan;
using namespace vorlan::test;

Q_DECLARE_METATYPE(CameraStamp)

namespace {

const QString Damaged = QStringLiteral("файл повреждён или неполон");
const QString NotAPicture = QStringLiteral("это не картинка");
const QString TooLarge = QStringLiteral("слишком велика");

QByteArray starJpeg() {
    return encoded(starField(400, 300, {{100, 80, 6}, {300, 220, 4}, {200, 150, 5}}), "JPEG", 90);
}

QByteArray bmp() {
    return encoded(gradientPicture(64, 48), "BMP");
}

// BMP header fields (little-endian): width at 18, height at 22, bits per pixel at 28.
constexpr int BmpWidth = 18, BmpHeight = 22, BmpBits = 28;

/// Files named "large…" are grown to this size as a sparse file: what a user may pick by mistake.
constexpr qint64 LargeFile = qint64(2) << 30;

} // namespace

class TestBadFiles : public WindowTest {
    Q_OBJECT
    QString good;

    /// A linear star field as a FITS file of the given layout would hold it.
    QByteArray fitsBytes(const FitsLayout& layout) {
        const QString path = dir.filePath("made.fits");
        writeFits(path, linearStarField(300, 200, 20, 1000, 30, 60000, 8), layout);
        return readFile(path);
    }

    /// Slot k holds the good red picture with point 1 marked by a click at (50, 40).
    void loadGoodWithPoint(int k) {
        for (int j = 1; j <= k; ++j)
            load(j, good);
        QTest::mouseClick(f->lblVvod1, Qt::LeftButton);
        QTest::mouseClick(f->Img(k), Qt::LeftButton, {}, QPoint(50, 40));
        QCOMPARE(State().Point1Text(k), QString("750  600"));
    }

    void verifySlotKept(int k) {
        SharedState& s = State();
        QCOMPARE(s.FileName(k), good);
        if (k == 1) QCOMPARE(f->windowTitle(), good);
        QVERIFY(f->Lbl(k)->toolTip().startsWith(good));
        QCOMPARE(s.PictureWidth(k), 400.0f);
        QCOMPARE(s.PictureHeight(k), 300.0f);
        QCOMPARE(s.Point1X(k), 750.0f);
        QCOMPARE(s.Point1Text(k), QString("750  600"));
        QCOMPARE(f->Img(k)->size(), QSize(400, 300));
        QCOMPARE(f->Img(k)->grab(QRect(10, 10, 1, 1)).toImage().pixelColor(0, 0), QColor(Qt::red));
    }

  private slots:
    void init() {
        WindowTest::init();
        // The budget of a machine with 8 GB, whatever this one has.
        f->pictureLoading.memoryBudget = qint64(2) << 30;
    }
    void initTestCase() {
        good = solid("good.png", 400, 300, Qt::red);
    }

    void refusedFilesLeaveTheSlotAsItWas_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");

        // Bombs: small files whose headers claim pictures of 14 and 40 GB at 4 bytes a pixel.
        QTest::newRow("161-byte JPEG of 60000 x 60000")
            << 1 << "bomb.jpg" << flatJpeg(60000, 60000, {128}, 8) << TooLarge;
        QTest::newRow("1-bit PNG of 60000 x 60000")
            << 1 << "bomb60.png" << blackPng1Bit(60000, 60000) << TooLarge;
        QTest::newRow("1-bit PNG of 100000 x 100000")
            << 1 << "bomb100.png" << blackPng1Bit(100000, 100000) << TooLarge;
        QTest::newRow("PNG bomb in slot 2") << 2 << "bomb2.png" << blackPng1Bit(60000, 60000) << TooLarge;

        const QByteArray jpeg = starJpeg();
        for (int percent : {10, 50, 99})
            QTest::addRow("JPEG cut at %d %%", percent)
                << 1 << "cut.jpg" << jpeg.left(jpeg.size() * percent / 100) << Damaged;
        QTest::newRow("JPEG without its end marker") << 3 << "noend.jpg" << jpeg.chopped(2) << Damaged;
        QTest::newRow("zero bytes") << 1 << "empty.jpg" << QByteArray() << QString("файл пуст");
        QTest::newRow("text named .jpg")
            << 1 << "notes.jpg" << QByteArray("Снимок M31, 3 марта\r\n") << NotAPicture;
        // Within the budget, so only its first bytes can refuse it before 2 GB are read.
        QTest::newRow("2 GB of zeros named .jpg") << 2 << "large.jpg" << QByteArray(16, '\0') << NotAPicture;
        const QByteArray png = encoded(gradientPicture(200, 150), "PNG");
        QTest::newRow("PNG cut in half") << 2 << "cut.png" << png.left(png.size() / 2) << Damaged;

        const QByteArray b = bmp();
        QTest::newRow("BMP of 1000000 x 1000000")
            << 1 << "huge.bmp" << patched(patched(b, BmpWidth, qint32(1000000)), BmpHeight, qint32(1000000))
            << Damaged;
        QTest::newRow("BMP of negative width")
            << 1 << "negw.bmp" << patched(b, BmpWidth, qint32(-64)) << Damaged;
        QTest::newRow("BMP of height -2^31")
            << 1 << "negh.bmp" << patched(b, BmpHeight, qint32(INT_MIN)) << Damaged;
        QTest::newRow("BMP of 7 bits a pixel")
            << 1 << "bits.bmp" << patched(b, BmpBits, quint16(7)) << Damaged;
        QTest::newRow("BMP cut inside its header") << 1 << "short.bmp" << b.left(30) << Damaged;
        QTest::newRow("BMP cut in its pixels") << 2 << "half.bmp" << b.left(b.size() / 2) << Damaged;

        // Headers of pictures that are not there.
        auto fitsHeader = [](int bitpix, int width, int height) {
            QByteArray header = QByteArray("SIMPLE  =                    T").leftJustified(80, ' ');
            for (const auto& [key, value] :
                 {std::pair{"BITPIX", bitpix}, {"NAXIS", 2}, {"NAXIS1", width}, {"NAXIS2", height}})
                header += (QByteArray(key).leftJustified(8, ' ') + "= " +
                           QByteArray::number(value).rightJustified(20, ' '))
                              .leftJustified(80, ' ');
            return (header + QByteArray("END").leftJustified(80, ' ')).leftJustified(2880, ' ');
        };
        QTest::newRow("FITS header of 200000 x 200000")
            << 1 << "bomb.fits" << fitsHeader(16, 200000, 200000) << TooLarge;
        // The 8-bit picture would fit (100 MB), but not the rows the stretch reads: nothing may be
        // taken for data that the file does not hold.
        QTest::newRow("float FITS header of 50000000 x 2")
            << 2 << "wide.fits" << fitsHeader(-32, 50000000, 2) << QString("кончается раньше");
        const QByteArray fits = fitsBytes({});
        QTest::newRow("FITS cut in its pixels") << 2 << "cut.fits" << fits.left(fits.size() / 2) << Damaged;
        QTest::newRow("FITS cut inside its header") << 1 << "short.fit" << fits.left(700) << Damaged;
        QTest::newRow("text named .fits")
            << 1 << "notes.fits" << QByteArray("M31, 3 марта\r\n") << NotAPicture;
        // A tile size of 0 makes cfitsio divide by zero while it reads the header.
        QByteArray zeroTile = fitsBytes({USHORT_IMG, 0, 1, true});
        zeroTile.replace(zeroTile.indexOf("ZTILE1  =") + 10, 20, QByteArray("0").rightJustified(20, ' '));
        QTest::newRow("compressed FITS with tiles of no size") << 3 << "zero.fz" << zeroTile << Damaged;
    }
    void refusedFilesLeaveTheSlotAsItWas() {
        QFETCH(int, slot);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        loadGoodWithPoint(slot);
        const QString bad = writeFile(dir, name, bytes);
        const bool large = name.startsWith("large");
        if (large) QVERIFY(QFile(bad).resize(LargeFile));
        const qint64 readBefore = bytesReadSoFar();
        load(slot, bad);
        if (large) QCOMPARE_LT(bytesReadSoFar() - readBefore, 16 << 20);
        QCOMPARE(prompter->messages.size(), 1);
        const QString message = prompter->messages[0];
        QVERIFY2(message.contains(bad) && message.contains(reason), qPrintable(message));
        if (reason == TooLarge) // the size the header claims, and what it would take
            QVERIFY2(message.contains(QRegularExpression("\\d+ × \\d+ пикселей.* ГБ")), qPrintable(message));
        verifySlotKept(slot);
    }

    void filesThatCannotBeReadAreNamedWithTheReason_data() {
        DataTable<QString>("reason")
            .row("not there", QString("файл не найден"))
            .row("no permission to read", QString("нет прав на чтение файла"));
    }
    void filesThatCannotBeReadAreNamedWithTheReason() {
        QFETCH(QString, reason);
        loadGoodWithPoint(1);
        QTemporaryDir folder;
        OrdinaryUser::openFolder(folder.path());
        const QString path = folder.filePath("locked.jpg");
        if (reason.contains("прав")) {
            QVERIFY(writeFile(path, starJpeg()));
            QVERIFY(QFile::setPermissions(path, {}));
        }
        {
            OrdinaryUser user;
            load(1, path);
        }
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY2(prompter->messages[0].contains(path) && prompter->messages[0].contains(reason),
                 qPrintable(prompter->messages[0]));
        verifySlotKept(1);
    }

    void unusualButSoundPicturesLoad_data() {
        DataTable<QByteArray, QSize, QColor> table("bytes", "size", "colour");
        QImage grey16(300, 200, QImage::Format_Grayscale16);
        grey16.fill(QColor(128, 128, 128));
        // Linear 16-bit data is stretched; a picture of one level is shown at the sky's grey.
        table.row("16-bit grey PNG", encoded(grey16, "PNG"), QSize(300, 200), QColor(38, 38, 38));
        table.row("CMYK JPEG", flatJpeg(40, 24, {200, 100, 50, 255}), QSize(40, 24), QColor(200, 100, 50));
        // Data after the end marker (camera trailers) and an end marker inside an application
        // segment (an embedded thumbnail) do not make a JPEG incomplete.
        table.row("JPEG with a trailer", flatJpeg(16, 16, {90}) + QByteArray(5000, 'x'), QSize(16, 16),
                  QColor(90, 90, 90));
        QByteArray withApp = flatJpeg(16, 16, {90});
        withApp.insert(2, QByteArray("\xFF\xE1\x00\x06\xFF\xD9\xFF\xD8", 8));
        table.row("JPEG with an end marker in a segment", withApp, QSize(16, 16), QColor(90, 90, 90));
        table.row("JPEG named .bmp", flatJpeg(16, 16, {30}), QSize(16, 16), QColor(30, 30, 30));
    }
    void unusualButSoundPicturesLoad() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QColor, colour);
        const QString path = writeFile(
            dir, QTest::currentDataTag() == QByteArray("JPEG named .bmp") ? "x.bmp" : "ok.jpg", bytes);
        load(1, path);
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('\n')));
        QCOMPARE(State().FileName1, path);
        QCOMPARE(f->Img1->picture().size(), size);
        const bool grey = colour.red() == colour.green() && colour.green() == colour.blue();
        QCOMPARE(f->Img1->picture().format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        const QColor seen = f->Img1->grab(QRect(5, 5, 1, 1)).toImage().pixelColor(0, 0);
        QVERIFY2(qAbs(seen.red() - colour.red()) <= 2 && qAbs(seen.green() - colour.green()) <= 2 &&
                     qAbs(seen.blue() - colour.blue()) <= 2,
                 qPrintable(seen.name()));
    }

    // Sound pictures, one with an absurd camera time stamp, one with none: both load, and the
    // absurd time is refused with its reason in the slot's tool tip rather than shown 68 years on.
    void hostileTimeStampsAreRefusedWithTheirReason() {
        QVERIFY(
            writeJpegWithExif(dir.filePath("9999.jpg"), {"9999:12:31 23:59:60", "", ExifRational{~0U, 1}}));
        QVERIFY(writeJpegWithExif(dir.filePath("none.jpg"), {}));
        load(1, dir.filePath("9999.jpg"));
        load(2, dir.filePath("none.jpg"));
        QVERIFY2(prompter->messages.isEmpty() && !f->Img2->picture().isNull(),
                 qPrintable(prompter->messages.join('\n')));
        QVERIFY2(
            f->Lbl1->toolTip().endsWith(
                "\nвремя снимка неизвестно: DateTimeOriginal «9999:12:31 23:59:60»: год 9999 вне 1900–2100"),
            qPrintable(f->Lbl1->toolTip()));
        QVERIFY(!f->Lbl2->toolTip().contains("время снимка") &&
                !f->txtInfo->toPlainText().contains("снимок"));
    }

    // Runs last: the peak of the whole run, bombs included. A decoded bomb would take 450 MB and
    // more; the sanitizers' shadow memory makes the figure meaningless there.
    void peakMemoryStaysSmall() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("address sanitizer build");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        QSKIP("address sanitizer build");
#endif
#endif
        rusage usage{};
        QCOMPARE(getrusage(RUSAGE_SELF, &usage), 0);
        const long peakMB = usage.ru_maxrss / 1024;
        qInfo("peak resident memory: %ld MB", peakMB);
        QVERIFY2(peakMB < 200, qPrintable(QString::number(peakMB)));
    }
};

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
