// "Прервать" ends every kind of long work within 100 ms. Each job runs the program's own
// algorithm on a picture large enough to take seconds; once it has worked a while it is told to
// stop, and the processor time the process spends from the stop to the job's end is its
// reaction (processor time, not wall time: on a loaded machine the worker may wait for a core,
// which is no fault of the job).

#include "blink/brightnessmatch.h"
#include "blink/gifwriter.h"
#include "common/jobrunner.h"
#include "cutout/cutoutrun.h"
#include "registration/autoregistration.h"
#include "registration/rotation.h"
#include "stars/movingsearch.h"
#include "stars/stardetect.h"
#include "support/skyframes.h"
#include "support/starsky.h"

#include <QtTest>
#include <atomic>
#include <ctime>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Processor time of the whole process, milliseconds.
double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

class TestJobStops : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QImage stars;  ///< 4000 x 3000 grey, 3000 stars
    QImage colour; ///< 4000 x 3000 colour night sky

    JobRunner::Work work(const QString& kind) {
        if (kind == "rotation")
            return [this](JobControl& c) {
                QImage canvas(rotatedCanvasSize(colour.width(), colour.height(), 0.3f), QImage::Format_RGB32);
                rotatePicture(colour, canvas, rotationGeometry(colour.width(), colour.height(), 0.3f), c);
            };
        if (kind == "cut-out")
            return [this](JobControl& c) {
                QImage canvas(colour.size(), QImage::Format_RGB32);
                const CutOutPart part{colour, QString(), {0, colour.width(), 0, colour.height()}, 0};
                runCutOut({part}, canvas, c, {});
            };
        if (kind == "registration")
            return [this](JobControl& c) { registerOnPicture1(stars, {{2, stars}, {3, stars}}, &c); };
        if (kind == "detection") return [this](JobControl&) { detectStars(colour); };
        if (kind == "search")
            return [this](JobControl&) {
                QVector<SearchPicture> pictures;
                for (int k = 0; k < 3; ++k)
                    pictures << SearchPicture{detectForMovingSearch(stars), {}, stars, k * 0.25};
                findMovingObjects(pictures);
            };
        if (kind == "difference")
            return [this](JobControl&) {
                for (int i = 0; i < 4; ++i)
                    differencePicture(colour, colour, {1, 0.5, 0.5}, {}, {});
            };
        return [this](JobControl&) { // GIF
            const QImage frame = colour.copy(0, 0, 1600, 1000);
            writeAnimatedGif(dir.filePath("blink.gif"), {frame, frame.mirrored(), frame, frame.mirrored()}, 50);
        };
    }

  private slots:
    void initTestCase() {
        stars = renderSky(randomSky(QRectF(0, 0, 4000, 3000), 3000, 3), {.width = 4000, .height = 3000, .fwhm = 2.5})
                    .image;
        colour = skyFrame(4000, 3000, true);
    }

    void aStopEndsTheJobWithin100ms_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"rotation", "cut-out", "registration", "detection", "search", "difference", "GIF"})
            QTest::newRow(kind) << QString(kind);
    }
    void aStopEndsTheJobWithin100ms() {
        QFETCH(QString, kind);
        JobRunner jobs;
        std::atomic<bool> ended{false};
        std::atomic<double> endedAt{0};
        JobEnd end;
        bool finished = false;
        const JobRunner::Work job = work(kind);
        const double startedAt = processCpuMs();
        const bool started = jobs.start(
            kind,
            [&](JobControl& c) {
                job(c);
                endedAt = processCpuMs();
                ended = true;
            },
            {},
            [&](const JobEnd& e) {
                end = e;
                finished = true;
            });
        QVERIFY(started);
        // Well into its work before the stop; the job needs no event loop until its end.
        while (processCpuMs() - startedAt < 30 && !ended)
            QThread::usleep(200);
        QVERIFY2(!ended, "the job ended before it could be stopped: give it more to do");
        const double stoppedAt = processCpuMs();
        jobs.requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
        QVERIFY(end.stopped && !end.failure);
        const double reaction = endedAt - stoppedAt;
        QVERIFY2(reaction < 100, qPrintable(QStringLiteral("%1 ms").arg(reaction)));
        qInfo("%s: %.1f ms of processor time from the stop to the end", qPrintable(kind), reaction);
    }
};

QTEST_GUILESS_MAIN(TestJobStops)
#include "tst_jobstops.moc"
