// The window-less chain (run before any window exists) and the main window give the same report
// on three FITS exposures; the chain's refusals; and "Прервать" ending every kind of long work.

#include "blink/brightnessmatch.h"
#include "blink/gifwriter.h"
#include "common/jobrunner.h"
#include "cutout/cutoutrun.h"
#include "registration/autoregistration.h"
#include "registration/rotation.h"
#include "report/frmmovers.h"
#include "session/pipeline.h"
#include "session/session.h"
#include "sky/platesolver.h"
#include "stars/stardetect.h"
#include "support/catalogfield.h"
#include "support/moverfield.h"
#include "support/moverfits.h"
#include "support/processgroup.h"
#include "support/skyframes.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "support/windowtest.h"

#include <QAction>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>
#include <ctime>

using namespace vorlan;
using namespace vorlan::test;

/// Three exposures a quarter of an hour apart, each shifted against picture 1, ten movers.
static const MoverField& field() {
    static const MoverField f = smallMoverField();
    return f;
}

/// Processor time of the whole process, milliseconds.
static double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class TestPipeline : public WindowTest {
    Q_OBJECT
    QStringList files;
    Session session{1};
    std::optional<PipelineResult> r;
    int changes = 0;
    QImage stars;  ///< 4000 x 3000 grey, 3000 stars
    QImage colour; ///< 4000 x 3000 colour night sky
    PlateSolver solver;

    /// The work of a kind of job as the windows start it.
    std::function<void(JobControl&)> work(const QString& kind) {
        const QImage& c = colour;
        if (kind == "rotation")
            return [&c](JobControl& j) {
                QImage canvas(rotatedCanvasSize(c.width(), c.height(), 0.3f), QImage::Format_RGB32);
                rotatePicture(c, canvas, rotationGeometry(c.width(), c.height(), 0.3f), j);
            };
        if (kind == "cut-out")
            return [&c](JobControl& j) {
                QImage canvas(c.size(), QImage::Format_RGB32);
                runCutOut({{c, QString(), {0, c.width(), 0, c.height()}, 0}}, canvas, j, {});
            };
        if (kind == "registration")
            return [this](JobControl& j) { registerOnPicture1(stars, {{2, stars}, {3, stars}}, &j); };
        if (kind == "detection") return [&c](JobControl&) { detectStars(c); };
        if (kind == "search")
            return [this](JobControl&) {
                const StarList found = detectForMovingSearch(stars);
                findMovingObjects({{found, {}, stars, 0.0}, {found, {}, stars, 0.25}, {found, {}, stars, 0.5}});
            };
        if (kind == "solve")
            return [this, options = standInSolver(dir.path())](JobControl&) {
                solver.solve(noiseStars(800, 600, 100, 3), options);
            };
        if (kind == "difference") return [&c](JobControl&) { differencePicture(c, c, {1, 0.5, 0.5}, {}, {}); };
        return [this, frame = c.copy(0, 0, 1600, 1000)](JobControl&) {
            writeAnimatedGif(dir.filePath("blink.gif"), {frame, frame.mirrored(), frame, frame.mirrored()}, 50);
        };
    }

  private slots:
    void initTestCase() {
        files = writeMoverFits(dir, field());
        stars = renderSky(randomSky(QRectF(0, 0, 4000, 3000), 3000, 3), {.width = 4000, .height = 3000}).image;
        colour = skyFrame(4000, 3000, true);
        JobRunner jobs;
        QSignalSpy changed(&session, &Session::slotChanged);
        const Outcome<PipelineResult> run = runPipeline(session, jobs, {.files = files});
        QVERIFY2(run.ok(), qPrintable(run.reason()));
        QVERIFY(QApplication::allWidgets().isEmpty());
        r = run.value();
        changes = int(changed.size());
    }

    void sessionHoldsWhatTheChainFound() {
        // Each picture registered by its stars where it was taken, and announced once a change:
        // three pictures, two registrations, six points, three star lists.
        QCOMPARE(session.count(), 3);
        QCOMPARE(r->pictureSlots, QVector<int>({1, 2, 3}));
        QVERIFY2(r->registered.size() == 2 && r->registered[1].startsWith("Снимок 3: звёзд"),
                 qPrintable(r->registered.join('\n')));
        for (int k = 1; k <= 3; ++k) {
            const Slot& s = session.slot(k);
            QVERIFY(s.currentStars() && s.time && s.points[0] && s.points[1]);
            const QPointF shift = session.toPicture1(k)->map(QPointF(800, 600)) - QPointF(800, 600);
            QVERIFY(QLineF(shift, field().toPicture1[k - 1].map(QPointF(0, 0))).length() < 0.1);
        }
        QCOMPARE(changes, 3 + 2 + 6 + 3);

        // Every object of 10 sigmas or more is listed at its place in picture 1; the report has a
        // line a picture at its mid-exposure time and the object's sky place by the header's
        // projection (to a tenth or two of a 1.8" pixel), then the ADES block.
        for (const MovingObject& o : field().objects)
            QVERIFY(o.peakSnr < 10 || std::ranges::any_of(r->search.movers, [&](const MovingCandidate& c) {
                        return QLineF(c.at[0], o.at).length() < 0.4;
                    }));
        const QPointF first = r->search.movers[r->rows[0].candidate].at[0];
        const MovingObject& truth = *std::ranges::min_element(
            field().objects, {}, [&](const MovingObject& o) { return QLineF(o.at, first).length(); });
        const QStringList lines = r->report.split('\n');
        QVERIFY2(lines.size() >= 5 && lines[3].isEmpty(), qPrintable(r->report));
        const SkyWcs wcs = SkyWcs::fromFitsFile(files[0]).value();
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(lines[i].startsWith("     VRL0001  C") && lines[i].endsWith("500"), qPrintable(lines[i]));
            QCOMPARE(lines[i].mid(15, 17), MoverFitsDays[i]);
            QVERIFY2(arcsec(mpcLineSky(lines[i]), wcs.pictureToSky(truth.in(i))) < 0.6, qPrintable(lines[i]));
        }

        // The stars are found once a picture: asked again, they are there without a job.
        bool called = false;
        QVERIFY(session.findStars(2, *std::make_unique<JobRunner>(), [&] { called = true; }) && called);
    }

    void windowReportsWhatTheChainReports() {
        for (int k = 1; k <= 3; ++k)
            load(k, files[k - 1]);
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        for (const QString& line : r->registered)
            QVERIFY2(f->txtInfo->toPlainText().contains(line), qPrintable(f->txtInfo->toPlainText()));
        emit f->mnuViravnivanie->aboutToShow();
        f->mnuMovers->trigger();
        QVERIFY(jobEnds());
        QTableWidget* t = f->findChild<frmMovers*>()->lstMovers;
        QCOMPARE(t->rowCount(), r->rows.size());
        for (int col = 0; col < t->columnCount(); ++col)
            QCOMPARE(t->item(0, col)->text(), r->rows[0].cells[col]);
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, t->visualItemRect(t->item(0, 1)).center());
        QTest::mouseClick(f->findChild<frmMovers*>()->cmdReport, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), r->report);
    }

    // Pictures without a header WCS have no sky to report in; a stop while they are registered.
    void refusals() {
        QStringList plain = files.mid(0, 2);
        for (int k = 0; k < 2; ++k)
            QVERIFY(field().pictures[k].image.save(plain[k] = dir.filePath(QStringLiteral("plain%1.png").arg(k))));
        for (const bool stop : {false, true}) {
            Session fresh;
            JobRunner jobs;
            connect(&jobs, &JobRunner::started, &jobs, [&](const QString& title) {
                if (stop && title.startsWith("Совмещение")) jobs.requestStop();
            });
            const Outcome<PipelineResult> run = runPipeline(fresh, jobs, {.files = stop ? files : plain});
            QVERIFY(!run.ok() && !jobs.busy());
            QCOMPARE(run.failure().number, int(stop ? UserInterrupt : InvalidValue));
            QVERIFY2(run.reason().startsWith(stop ? "Прервано." : "Нет привязки снимка 1 к небу"), qPrintable(run.reason()));
        }
    }

    // Each job runs the program's algorithm on a large picture and is stopped once it has worked a
    // while; its reaction is processor time (on a loaded machine a worker may wait for a core).
    void aStopEndsTheJobWithin100ms_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("leadMs"); // processor time the job works before the stop
        for (const char* kind : {"rotation", "cut-out", "registration", "search", "difference", "GIF"})
            QTest::newRow(kind) << QString(kind) << 30.0;
        // Detection skips starless blocks whole: the 12-megapixel picture takes it only some 30 ms.
        QTest::newRow("detection") << QString("detection") << 4.0;
        // solve-field works in processes of its own: the job only waits for them.
        QTest::newRow("solve") << QString("solve") << 0.0;
    }
    void aStopEndsTheJobWithin100ms() {
        QFETCH(QString, kind);
        QFETCH(double, leadMs);
        JobRunner jobs;
        std::atomic<bool> ended{false};
        std::atomic<double> endedAt{0};
        std::optional<JobEnd> end;
        const double startedAt = processCpuMs();
        QVERIFY(jobs.start(
            kind,
            [&, job = work(kind)](JobControl& c) {
                job(c);
                endedAt = processCpuMs();
                ended = true;
            },
            {}, [&](const JobEnd& e) { end = e; }));
        // Well into its work (a solve: its solver running) before the stop; the job needs no event
        // loop until its end.
        while ((processCpuMs() - startedAt < leadMs || (kind == "solve" && !solver.isRunning())) && !ended)
            QThread::usleep(200);
        const qint64 group = solver.processGroup();
        QVERIFY2(!ended, "the job ended before it could be stopped: give it more to do");
        const double stoppedAt = processCpuMs();
        jobs.requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(end, 30000);
        qInfo("%s: %.1f ms of processor time from the stop to the end", qPrintable(kind), endedAt - stoppedAt);
        QVERIFY(end->stopped && !end->failure && endedAt - stoppedAt < 100);
        if (group) QTRY_COMPARE_WITH_TIMEOUT(livingInGroup(group), 0, 1000); // the solver's whole tree
        QCOMPARE(kind == "solve", group != 0);
    }
};

QTEST_MAIN(TestPipeline)
#include "tst_pipeline.moc"
