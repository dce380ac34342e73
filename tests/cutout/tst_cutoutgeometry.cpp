// The cut-out's geometry and files without a window: regions, the pixel copy,
// the BMP writer and the choice of the picture to work on.

#include "common/isolatedrun.h"
#include "cutout/bmpfile.h"
#include "cutout/cutoutgeometry.h"
#include "support/files.h"
#include "view/picturefile.h"
#include "view/workpicture.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace vorlan;
using vorlan::test::readFile;
using vorlan::test::writeFile;

Q_DECLARE_METATYPE(vorlan::CutRegion)

namespace {

QImage numbered(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<QRgb*>(img.scanLine(y))[x] = qRgb(x, y, 7);
    return img;
}

/// The writer's refusal reason ("" when it wrote) in a forked copy without the super-user's power
/// over permissions, so that a read-only folder refuses even when the tests run as root.
QString writtenWithoutOverride(const QImage& picture, const QString& path) {
    const IsolatedResult r = runIsolated(
        [&] {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct caps[2]{};
            syscall(SYS_capget, &header, caps);
            caps[0].effective = caps[0].permitted &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
            if (syscall(SYS_capset, &header, caps) != 0) return QByteArray("capset");
            return writeBmp24(picture, path).reason().toUtf8();
        },
        10000);
    return r.end == IsolatedEnd::Answered ? QString::fromUtf8(r.answer) : QStringLiteral("no answer");
}

} // namespace

class TestCutoutGeometry : public QObject {
    Q_OBJECT
  private slots:
    void regions_data() {
        QTest::addColumn<QPointF>("spot"); // picture pixels
        QTest::addColumn<QSize>("region");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<CutRegion>("expected");
        QTest::newRow("middle") << QPointF(500, 400) << QSize(200, 200) << QSize(1000, 800)
                                << CutRegion{400, 600, 300, 500};
        QTest::newRow("50 from the left edge")
            << QPointF(50, 400) << QSize(200, 200) << QSize(1000, 800) << CutRegion{0, 150, 300, 500};
        QTest::newRow("near the far corner")
            << QPointF(990, 795) << QSize(200, 200) << QSize(1000, 800) << CutRegion{890, 1000, 695, 800};
        QTest::newRow("odd size") << QPointF(100, 100) << QSize(201, 51) << QSize(1000, 800)
                                  << CutRegion{0, 200, 74, 125};
        QTest::newRow("beyond 32767") << QPointF(40000, 35000) << QSize(200, 100) << QSize(50000, 40000)
                                      << CutRegion{39900, 40100, 34950, 35050};
        QTest::newRow("spot right of the picture")
            << QPointF(1300, 10) << QSize(200, 200) << QSize(1000, 800) << CutRegion{1200, 1000, 0, 110};
    }
    void regions() {
        QFETCH(QPointF, spot);
        QFETCH(QSize, region);
        QFETCH(QSize, picture);
        QFETCH(CutRegion, expected);
        const CutRegion r = cutRegion(float(spot.x() * 15), float(spot.y() * 15), region.width(),
                                      region.height(), float(picture.width()), float(picture.height()));
        QCOMPARE(QRect(QPoint(r.x0, r.y0), QPoint(r.x1, r.y1)),
                 QRect(QPoint(expected.x0, expected.y0), QPoint(expected.x1, expected.y1)));
    }

    void pixelCopy_data() {
        QTest::addColumn<CutRegion>("region");
        QTest::addColumn<int>("offsetX");
        QTest::addColumn<int>("stopAfter"); // pixels; 0 = never
        QTest::addColumn<qint64>("visited");
        QTest::addColumn<int>("copied");
        QTest::newRow("inside") << CutRegion{2, 4, 1, 3} << 0 << 0 << qint64(9) << 9;
        QTest::newRow("one past the picture") << CutRegion{8, 10, 5, 6} << 3 << 0 << qint64(6) << 2;
        QTest::newRow("offset beyond the canvas clips")
            << CutRegion{0, 9, 0, 0} << 15 << 0 << qint64(10) << 5;
        QTest::newRow("stopped after 4") << CutRegion{0, 4, 0, 4} << 0 << 4 << qint64(4) << 4;
        QTest::newRow("far end before near end") << CutRegion{5, 3, 2, 2} << 0 << 0 << qint64(1) << 1;
    }
    void pixelCopy() {
        QFETCH(CutRegion, region);
        QFETCH(int, offsetX);
        QFETCH(int, stopAfter);
        QFETCH(qint64, visited);
        QFETCH(int, copied);
        const QImage src = numbered(10, 6);
        QImage canvas = newCanvas(QSize(20, 4));
        int calls = 0;
        QCOMPARE(copyRegion(src, canvas, region, offsetX, [&] { return ++calls != stopAfter; }), visited);
        int written = 0;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x) {
                const QRgb c = canvas.pixel(x, y);
                if (c == CanvasBackground) continue;
                ++written;
                QCOMPARE(c, src.pixel(x - offsetX + region.x0, y + region.y0));
            }
        QCOMPARE(written, copied);
    }

    void bmpFiles_data() {
        QTest::addColumn<QString>("name");   // in a fresh folder; "ro/" a read-only folder
        QTest::addColumn<QString>("reason"); // empty: written
        QTest::newRow("new file") << "strip.bmp"
                                  << "";
        QTest::newRow("over an old file") << "old.bmp"
                                          << "";
        QTest::newRow("a folder's name") << "folder"
                                         << "это папка, а не файл";
        QTest::newRow("a missing folder") << "nowhere/strip.bmp"
                                          << "папка не найдена";
        QTest::newRow("read-only folder keeps its file") << "ro/old.bmp"
                                                         << "нет права записи в папку";
    }
    void bmpFiles() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("folder");
        QDir(dir.path()).mkdir("ro");
        for (const QString& old : {dir.filePath("old.bmp"), dir.filePath("ro/old.bmp")})
            QVERIFY(writeFile(old, "old contents"));
        QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
        const auto writableAgain = qScopeGuard([&] {
            QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        const QImage picture = numbered(33, 7); // rows that need padding
        const QString path = dir.filePath(name);
        QCOMPARE(writtenWithoutOverride(picture, path), reason);
        if (!reason.isEmpty()) {
            if (QFileInfo(path).isFile()) QCOMPARE(readFile(path), QByteArray("old contents"));
            QCOMPARE(QDir(QFileInfo(path).absolutePath())
                         .entryList(QDir::Files | QDir::Hidden)
                         .filter(".bmp.")
                         .size(),
                     0);
            return;
        }
        const QByteArray head = readFile(path).left(54);
        QCOMPARE(head.size(), 54);
        QCOMPARE(head.left(2), QByteArray("BM"));
        QCOMPARE(qFromLittleEndian<quint16>(head.constData() + 28), quint16(24)); // bits per pixel
        QCOMPARE(qFromLittleEndian<quint32>(head.constData() + 30), quint32(0));  // no compression
        QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32), picture);
    }

    void workPicture_data() {
        QTest::addColumn<QString>("fileAfterLoad"); // what happens to the file after it was decoded
        QTest::addColumn<bool>("heldPixels");
        QTest::newRow("unchanged: the held picture, no second decode") << "kept" << true;
        QTest::newRow("rewritten: decoded afresh") << "rewritten" << false;
        QTest::newRow("deleted: the held picture") << "deleted" << true;
        QTest::newRow("name emptied by a cancel: the held picture") << "unnamed" << true;
    }
    void workPicture() {
        QFETCH(QString, fileAfterLoad);
        QFETCH(bool, heldPixels);
        QTemporaryDir dir;
        const QString path = dir.filePath("sky.png");
        QVERIFY(numbered(40, 30).save(path));
        const QImage held = decodePictureFile(path).valueOr(QImage());
        QVERIFY(!held.isNull());
        QImage other(40, 30, QImage::Format_RGB32);
        other.fill(Qt::white);
        if (fileAfterLoad == "rewritten") {
            QVERIFY(other.save(path));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
        } else if (fileAfterLoad == "deleted") {
            QFile::remove(path);
        }
        const DecodedPicture decoded =
            pictureToWorkOn(held, fileAfterLoad == "unnamed" ? QString() : path, {});
        QVERIFY(decoded.ok());
        const QImage& work = decoded.value();
        QCOMPARE(work.cacheKey() == held.cacheKey(), heldPixels);
        QCOMPARE(work.pixel(5, 5), heldPixels ? held.pixel(5, 5) : other.pixel(5, 5));
    }
};

QTEST_GUILESS_MAIN(TestCutoutGeometry)
#include "tst_cutoutgeometry.moc"
