// Solving a photograph with astrometry.net's solve-field from a star list: a field of real
// catalogue stars, handed over unsorted and with a scale hint, comes back where it was drawn, and
// a missing solver or index says what to install. (A solve through the window, a failing one and
// a stopped one: tst_skycoordinates.)

#include "sky/platesolver.h"
#include "support/catalogfield.h"
#include "support/datatable.h"
#include "support/wcsheader.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Waits for the solver's outcome; false when neither signal came within seconds.
bool outcome(QSignalSpy& done, QSignalSpy& failed, int seconds) {
    return QTest::qWaitFor([&] { return done.count() + failed.count() > 0; }, seconds * 1000);
}

} // namespace

class TestPlateSolver : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY2(!QStandardPaths::findExecutable("solve-field").isEmpty() &&
                     !AstrometryIndexFiles().isEmpty(),
                 "astrometry.net and its Tycho-2 index files come from scripts/install-deps");
    }

    // A 2° field of real Tycho-2 stars in Cygnus drawn through a known projection is found, and
    // its positions at five points lie within 2" of that projection.
    void solvesCatalogueField() {
        const double rotation = -100;
        const TanPicture tan{305 * Rad, 41 * Rad, 2.0, rotation, 1500, 1000};
        const CatalogField field = catalogField(tan, 7);
        QVERIFY2(field.stars.stars.size() > 40, qPrintable(QString::number(field.stars.stars.size())));
        // Unsorted, as a detection working in bands might hand it over: the solver sorts.
        StarList shuffled = field.stars;
        std::reverse(shuffled.stars.begin(), shuffled.stars.end());

        SolveOptions options;
        options.scale = ScaleHintFromOptics(386.75, 9); // 4.80"/px, 2° over 1500 pixels
        PlateSolver solver;
        QSignalSpy done(&solver, &PlateSolver::finished), failed(&solver, &PlateSolver::failed);
        QVERIFY(solver.start(shuffled, options));
        QVERIFY(!solver.start(shuffled, options)); // one run at a time
        QVERIFY(outcome(done, failed, options.timeLimitSeconds + 5));
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        qInfo("solved in %.2f s, %d stars", solver.elapsedSeconds(), int(field.stars.stars.size()));
        const SkyWcs wcs = done.first().first().value<SkyWcs>();
        QCOMPARE(wcs.width(), 1500);
        QCOMPARE(wcs.height(), 1000);
        double worst = 0; // a position missing counts as huge
        for (const QPointF p :
             {QPointF(750, 500), QPointF(10, 10), QPointF(1490, 15), QPointF(20, 985), QPointF(1400, 900)}) {
            SkyCoord drawn;
            tan.skyAt(p.x(), p.y(), drawn.ra, drawn.dec);
            worst = std::max(worst, arcsec(wcs.pictureToSky(p), drawn));
        }
        qInfo("largest difference from the drawn projection: %.3f\"", worst);
        QVERIFY2(worst < 2, qPrintable(QString::number(worst)));
        QVERIFY(std::fabs(std::remainder(wcs.plateFacts().angle / Rad - rotation, 360)) < 0.05);
    }

    void refusesWithoutWhatItNeeds_data() {
        // config: the index folder line, or empty for the installed one
        DataTable<QString, QString, int, QString>("program", "config", "stars", "reason")
            .row("no solver", "/nonexistent/solve-field", "", 100, SolverMissingText)
            .row("no solver in PATH", "solve-field-not-installed", "", 100, SolverMissingText)
            .row("no index files", "solve-field", "add_path %1", 100, IndexMissingText)
            .row("too few stars", "solve-field", "", 4,
                 "Не удалось определить координаты по звёздам: на снимке слишком мало звёзд (4).");
    }
    void refusesWithoutWhatItNeeds() {
        QFETCH(QString, program);
        QFETCH(QString, config);
        QFETCH(int, stars);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        SolveOptions options;
        options.program = program;
        if (!config.isEmpty()) {
            options.configFile = dir.filePath("astrometry.cfg");
            QFile file(options.configFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(config.arg(dir.path()).toUtf8());
        }
        PlateSolver solver;
        QSignalSpy done(&solver, &PlateSolver::finished), failed(&solver, &PlateSolver::failed);
        QVERIFY(solver.start(noiseStars(800, 600, stars, 3), options));
        QVERIFY(outcome(done, failed, 5));
        QCOMPARE(failed.first().first().toString(), reason);
        QVERIFY(done.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPlateSolver)
#include "tst_platesolver.moc"
