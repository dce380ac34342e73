// The window-less chain on three generated FITS exposures, under QCoreApplication with no widget
// library even linked: what it leaves in the session, the objects it finds, the report of the
// first one, and each way it refuses.

#include "common/jobrunner.h"
#include "session/pipeline.h"
#include "session/session.h"
#include "support/moverfits.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Three exposures a quarter of an hour apart, each shifted against picture 1, ten movers.
const MoverField& field() {
    static const MoverField f = moverField(3, 4, 1600, 1200, 2.0, 200, 0.0);
    return f;
}

/// "HH MM SS.ss" / "sDD MM SS.s" of the 80-column line in radians.
double sexagesimal(const QString& text, double radiansPerUnit) {
    const QStringList p = text.trimmed().split(' ');
    const double value = std::fabs(p[0].toDouble()) + p[1].toDouble() / 60 + p[2].toDouble() / 3600;
    return (text.trimmed().startsWith('-') ? -value : value) * radiansPerUnit;
}

} // namespace

class TestPipeline : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QStringList files;

  private slots:
    void initTestCase() { files = writeMoverFits(dir, field()); }

    void findsTheMoversAndReportsTheFirst() {
        Session session(1);
        JobRunner jobs;
        QSignalSpy changed(&session, &Session::slotChanged);
        const Outcome<PipelineResult> run = runPipeline(session, jobs, {.files = files});
        QVERIFY2(run.ok(), qPrintable(run.reason()));
        const PipelineResult& r = run.value();

        // The session holds the three pictures, each registered by its stars where it was taken.
        QCOMPARE(session.count(), 3);
        QCOMPARE(r.pictureSlots, QVector<int>({1, 2, 3}));
        QCOMPARE(r.registered.size(), 2);
        QVERIFY2(r.registered[1].startsWith("Снимок 3: звёзд"), qPrintable(r.registered[1]));
        for (int k = 1; k <= 3; ++k) {
            const Slot& s = session.slot(k);
            QVERIFY(s.currentStars() && s.time && s.points[0] && s.points[1]);
            const QPointF shift = session.toPicture1(k)->map(QPointF(800, 600)) - QPointF(800, 600);
            QVERIFY(QLineF(shift, field().toPicture1[k - 1].map(QPointF(0, 0))).length() < 0.1);
        }
        QVERIFY(session.slot(3).version > session.slot(1).version);
        // One announcement a change: three pictures, two registrations, six points, three star lists.
        QCOMPARE(changed.size(), 3 + 2 + 6 + 3);

        // Every object of 10 sigmas or more is listed at its place in picture 1.
        for (const MovingObject& o : field().objects) {
            if (o.peakSnr < 10) continue;
            QVERIFY2(std::ranges::any_of(r.search.movers,
                                         [&](const MovingCandidate& c) { return QLineF(c.at[0], o.at).length() < 0.4; }),
                     qPrintable(QStringLiteral("object at %1, %2").arg(o.at.x()).arg(o.at.y())));
        }

        // The report: one line a picture at its mid-exposure time and the sky place of the object
        // there by the header's projection, then the ADES block.
        const MovingCandidate& first = r.search.movers[r.rows[0].candidate];
        const MovingObject& truth = *std::ranges::min_element(field().objects, {}, [&](const MovingObject& o) {
            return QLineF(o.at, first.at[0]).length();
        });
        const QStringList lines = r.report.split('\n');
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines[3], QString());
        const SkyWcs wcs = SkyWcs::fromFitsFile(files[0]);
        const char* const days[] = {"2024 03 05.87517 ", "2024 03 05.88559 ", "2024 03 05.89601 "};
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(lines[i].startsWith("     VRL0001  C") && lines[i].endsWith("500"), qPrintable(lines[i]));
            QCOMPARE(lines[i].mid(15, 17), QString(days[i]));
            const SkyCoord at{sexagesimal(lines[i].mid(32, 11), M_PI / 12), sexagesimal(lines[i].mid(44, 11), M_PI / 180)};
            // A tenth or two of a 1.8" pixel from where it was drawn.
            QVERIFY2(arcsec(at, wcs.pictureToSky(truth.in(i))) < 0.6, qPrintable(lines[i]));
        }

        // The stars are found once a picture: asked again, they are there without a job.
        bool called = false;
        QVERIFY(session.findStars(2, jobs, [&] { called = true; }));
        QVERIFY(called && !jobs.busy());
    }

    void refusals_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("reason");
        QTest::newRow("one picture") << "one" << int(InvalidArgument) << "Нужно не меньше двух снимков.";
        QTest::newRow("file gone") << "gone" << int(FileNotFound) << "";
        QTest::newRow("no sky") << "png" << int(InvalidValue) << "Нет привязки снимка 1 к небу: в его заголовке нет WCS.";
        QTest::newRow("another field") << "other" << int(InvalidValue) << "Снимок 2 не совмещён.\n";
        QTest::newRow("stopped") << "stop" << int(UserInterrupt) << "Прервано.";
    }
    void refusals() {
        QFETCH(QString, what);
        QFETCH(int, number);
        QFETCH(QString, reason);
        QStringList given = files;
        if (what == "one") given = files.mid(0, 1);
        if (what == "gone") given[1] = dir.filePath("gone.fits");
        if (what == "png")
            for (int k = 0; k < 2; ++k) {
                given[k] = dir.filePath(QStringLiteral("plain%1.png").arg(k));
                QVERIFY(field().pictures[k].image.save(given[k]));
            }
        if (what == "other") {
            given[1] = dir.filePath("other.fits");
            QVERIFY(writeFitsWithCards(given[1], countsOf(moverField(1, 9, 1600, 1200, 2.0, 200).pictures[0].image), {}) == 0);
        }
        Session session;
        JobRunner jobs;
        // "Прервать" while the pictures are registered.
        if (what == "stop")
            connect(&jobs, &JobRunner::started, &jobs, [&jobs](const QString& title) {
                if (title.startsWith("Совмещение")) jobs.requestStop();
            });
        const Outcome<PipelineResult> run = runPipeline(session, jobs, {.files = given});
        QVERIFY(!run.ok());
        QCOMPARE(run.failure().number, number);
        QVERIFY2(run.reason().startsWith(reason), qPrintable(run.reason()));
        QVERIFY(!jobs.busy());
    }
};

QTEST_GUILESS_MAIN(TestPipeline)
#include "tst_pipeline.moc"
