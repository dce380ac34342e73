// The blink written as an animated GIF and read back with Qt's own GIF reader, as a browser or a
// forum would show it; and saves that fail, each leaving the old file as it was.

#include "blink/gifwriter.h"
#include "support/skyframes.h"

#include <QImageReader>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

using namespace vorlan;
using namespace vorlan::test;

Q_DECLARE_METATYPE(QVector<QImage>)

namespace {

struct ReadBack {
    QVector<QImage> frames; ///< RGB32
    QVector<int> delays;    ///< milliseconds
    int loops = 0;
    QByteArray header;
};

ReadBack readGif(const QString& path) {
    ReadBack r;
    QImageReader reader(path, "gif");
    r.loops = reader.loopCount();
    for (QImage img; reader.read(&img);) {
        r.frames.push_back(img.convertToFormat(QImage::Format_RGB32));
        r.delays.push_back(reader.nextImageDelay());
    }
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    r.header = file.read(6);
    return r;
}

/// Fraction of pixels whose channels all lie within 3 levels of the original's.
double closeFraction(const QImage& original, const QImage& written) {
    const QImage a = original.convertToFormat(QImage::Format_RGB32);
    qint64 close = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(written.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            close += std::abs(qRed(p[x]) - qRed(q[x])) <= 3 && std::abs(qGreen(p[x]) - qGreen(q[x])) <= 3 &&
                     std::abs(qBlue(p[x]) - qBlue(q[x])) <= 3;
    }
    return double(close) / (qint64(a.width()) * a.height());
}

/// Pixels equal in the first two originals but not in the first two written frames.
qint64 flickering(const QVector<QImage>& originals, const QVector<QImage>& written) {
    const QImage a = originals[0].convertToFormat(QImage::Format_RGB32);
    const QImage b = originals[1].convertToFormat(QImage::Format_RGB32);
    qint64 count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) == b.pixel(x, y) && written[0].pixel(x, y) != written[1].pixel(x, y);
    return count;
}

} // namespace

class TestGifWriter : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void framesReadBack_data() {
        QTest::addColumn<QVector<QImage>>("frames");
        QTest::addColumn<bool>("exact");
        const QImage grey = skyFrame(320, 240, false);
        const QImage colour = skyFrame(320, 240, true);
        QImage few(200, 100, QImage::Format_RGB32);
        few.fill(qRgb(10, 20, 30));
        QImage fewToo = few.copy();
        fewToo.fill(qRgb(200, 20, 30));
        QTest::newRow("grey pair as the screen grabs it")
            << QVector<QImage>{grey, partnerFrame(grey, false, 40, 200)} << true;
        QTest::newRow("grey 1 - 2 - 3, one byte a pixel")
            << QVector<QImage>{grey.convertToFormat(QImage::Format_Grayscale8),
                               partnerFrame(grey, false, 40, 200).convertToFormat(QImage::Format_Grayscale8),
                               partnerFrame(grey, false, 60, 190).convertToFormat(QImage::Format_Grayscale8)}
            << true;
        QTest::newRow("colour pair") << QVector<QImage>{colour, partnerFrame(colour, true, 40, 200)} << false;
        QTest::newRow("colours few enough to keep") << QVector<QImage>{few, fewToo} << true;
    }
    void framesReadBack() {
        QFETCH(QVector<QImage>, frames);
        QFETCH(bool, exact);
        const QString path = dir.filePath("blink.gif");
        QCOMPARE(writeAnimatedGif(path, frames, 70), QString());
        const ReadBack r = readGif(path);
        QCOMPARE(r.header, QByteArray("GIF89a"));
        QCOMPARE(r.frames.size(), frames.size());
        QCOMPARE(r.delays, QVector<int>(frames.size(), 700));
        QCOMPARE(r.loops, -1); // forever
        for (int k = 0; k < frames.size(); ++k) {
            if (exact) {
                QCOMPARE(r.frames[k], frames[k].convertToFormat(QImage::Format_RGB32));
            } else {
                const double fraction = closeFraction(frames[k], r.frames[k]);
                QVERIFY2(fraction >= 0.99,
                         qPrintable(QString("frame %1: %2 within 3 levels").arg(k).arg(fraction)));
            }
        }
        QCOMPARE(flickering(frames, r.frames), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"blink.gif"}); // no temporary file left
    }

    void failedSaveKeepsOldFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVector<QImage>>("frames");
        QTest::addColumn<qint64>("sizeLimit"); // bytes a process may write into one file, 0 = none
        QTest::addColumn<QString>("reason");
        const QImage a = skyFrame(200, 150, true);
        QTest::newRow("folder missing")
            << "none/blink.gif" << QVector<QImage>{a, a} << qint64(0) << "папка не найдена";
        QTest::newRow("a folder by that name")
            << "sub" << QVector<QImage>{a, a} << qint64(0) << "это папка, а не файл";
        QTest::newRow("frames of two sizes") << "old.gif" << QVector<QImage>{a, a.copy(0, 0, 100, 100)}
                                             << qint64(0) << "кадры разного размера";
        QTest::newRow("no frames") << "old.gif" << QVector<QImage>{} << qint64(0) << "нет кадров";
        // The disk refuses the rest after the first 2000 bytes, as a full disk would.
        QTest::newRow("write cut off")
            << "old.gif" << QVector<QImage>{a, a} << qint64(2000) << "ошибка записи на диск";
    }
    void failedSaveKeepsOldFile() {
        QFETCH(QString, name);
        QFETCH(QVector<QImage>, frames);
        QFETCH(qint64, sizeLimit);
        QFETCH(QString, reason);
        const QTemporaryDir dir; // a folder of its own for each row
        QDir(dir.path()).mkpath("sub");
        const QString path = dir.filePath(name);
        QFile old(dir.filePath("old.gif"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old content") == 11);
        old.close();

        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (sizeLimit) {
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of stopping the test
            rlimit limited = saved;
            limited.rlim_cur = rlim_t(sizeLimit);
            setrlimit(RLIMIT_FSIZE, &limited);
        }
        const QString result = writeAnimatedGif(path, frames, 50);
        setrlimit(RLIMIT_FSIZE, &saved);

        QCOMPARE(result, QStringLiteral("Не удалось записать файл %1: %2").arg(path, reason));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old content"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.gif"});
    }
};

QTEST_GUILESS_MAIN(TestGifWriter)
#include "tst_gifwriter.moc"
