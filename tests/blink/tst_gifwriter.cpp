// The blink written as an animated GIF and read back with Qt's own GIF reader, as a browser or a
// forum would show it; and saves that fail, each leaving the old file as it was.

#include "blink/gifwriter.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/gifcheck.h"
#include "support/skyframes.h"

#include <QImageReader>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

using namespace vorlan;
using namespace vorlan::test;

Q_DECLARE_METATYPE(QVector<QImage>)

class TestGifWriter : public QObject {
    Q_OBJECT

  private slots:
    void framesReadBack_data() {
        // closeShare: of the pixels within 3 levels; 1 = exact
        DataTable<QVector<QImage>, double> table("frames", "closeShare");
        const QImage grey = skyFrame(320, 240, false), colour = skyFrame(320, 240, true);
        QImage few(200, 100, QImage::Format_RGB32), fewToo(200, 100, QImage::Format_RGB32);
        few.fill(qRgb(10, 20, 30));
        fewToo.fill(qRgb(200, 20, 30));
        table.row("grey pair as grabbed", {grey, partnerFrame(grey, false, 40, 200)}, 1.0);
        QVector<QImage> three{grey, partnerFrame(grey, false, 40, 200), partnerFrame(grey, false, 60, 190)};
        for (QImage& f : three)
            f = f.convertToFormat(QImage::Format_Grayscale8);
        table.row("grey 1 - 2 - 3 in grey bytes", three, 1.0);
        table.row("colour pair", {colour, partnerFrame(colour, true, 40, 200)}, 0.99);
        table.row("colours few enough to keep", {few, fewToo}, 1.0);
    }
    void framesReadBack() {
        QFETCH(QVector<QImage>, frames);
        QFETCH(double, closeShare);
        const QTemporaryDir dir;
        const QString path = dir.filePath("blink.gif");
        QVERIFY(writeAnimatedGif(path, frames, 70).ok());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"blink.gif"}); // no temporary file left
        QCOMPARE(readFile(path).left(6), QByteArray("GIF89a"));
        const ReadGif gif = readGif(path);
        QCOMPARE(gif.format, QByteArray("gif"));
        QCOMPARE(gif.loopCount, -1);                            // forever
        QCOMPARE(gif.delays, QVector<int>(frames.size(), 700)); // milliseconds
        const FrameDifference d = compareFrames(frames, gif.frames);
        QVERIFY2(d.far <= (1 - closeShare) * d.pixels,
                 qPrintable(QString("%1 of %2 pixels off").arg(d.far).arg(d.pixels)));
        // A pixel the same in two frames on the screen is the same in the file.
        QCOMPARE(d.flicker, 0);
        if (closeShare == 1.0) QCOMPARE(d.unequal, 0);
    }

    void failedSaveKeepsOldFile_data() {
        // sizeLimit: bytes a process may write into one file, 0 = no limit
        DataTable<QString, QVector<QImage>, qint64, QString> table("name", "frames", "sizeLimit", "reason");
        const QImage a = skyFrame(200, 150, true);
        table.row("folder missing", "none/blink.gif", {a, a}, qint64(0), "папка не найдена");
        table.row("frames of two sizes", "old.gif", {a, a.copy(0, 0, 100, 100)}, qint64(0),
                  "кадры разного размера");
        table.row("no frames", "old.gif", {}, qint64(0), "нет кадров");
        // The file may grow to 2000 bytes only, as on a disk that limits the size of a file.
        table.row("write cut off", "old.gif", {a, a}, qint64(2000), "файл слишком велик для этого диска");
    }
    void failedSaveKeepsOldFile() {
        QFETCH(QString, name);
        QFETCH(QVector<QImage>, frames);
        QFETCH(qint64, sizeLimit);
        const QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("old.gif"), "old content"));
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        if (sizeLimit) limited.rlim_cur = rlim_t(sizeLimit);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead of ending the test
        setrlimit(RLIMIT_FSIZE, &limited);
        const QString path = dir.filePath(name);
        const QString result = writeAnimatedGif(path, frames, 50).reason();
        setrlimit(RLIMIT_FSIZE, &saved);
        QFETCH(QString, reason);
        QCOMPARE(result, QStringLiteral("Не удалось записать файл %1: %2").arg(path, reason));
        QCOMPARE(readFile(dir.filePath("old.gif")), QByteArray("old content"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.gif"}); // nothing left beside it
    }
};

QTEST_GUILESS_MAIN(TestGifWriter)
#include "tst_gifwriter.moc"
