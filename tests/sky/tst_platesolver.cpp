// Solving a photograph with astrometry.net's solve-field from a star list: a field of real
// catalogue stars, handed over unsorted and with a scale hint, comes back where it was drawn, and
// a missing solver or index says what to install; a killed Vorlan leaves nothing. (A solve
// through the window, a failing one and a stopped one: tst_skycoordinates.)

#include "common/jobrunner.h"
#include "sky/platesolver.h"
#include "support/catalogfield.h"
#include "support/datatable.h"
#include "support/wcsheader.h"

#include "support/processgroup.h"

#include <QDir>
#include <QtTest>
#include <csignal>
#include <optional>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A solve run as a job of the program's runner, and the process group its solver had.
struct SolveRun {
    std::optional<Outcome<SkyWcs>> outcome;
    qint64 group = 0;
};

SolveRun solveInJob(PlateSolver& solver, const StarList& stars, const SolveOptions& options) {
    SolveRun run;
    JobRunner jobs;
    jobs.start("solve", [&](JobControl&) { run.outcome = solver.solve(stars, options); });
    QTest::qWaitFor(
        [&] {
            run.group = run.group ? run.group : solver.processGroup();
            return !jobs.busy();
        },
        (options.timeLimitSeconds + 5) * 1000);
    return run;
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
        const SolveRun run = solveInJob(solver, shuffled, options);
        QVERIFY(run.outcome && run.group > 0);
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(run.group) == 0; }, 1000)); // nothing left
        QVERIFY2(run.outcome->ok(), qPrintable(run.outcome->reason()));
        qInfo("solved in %.2f s, %d stars", solver.elapsedSeconds(), int(field.stars.stars.size()));
        const SkyWcs wcs = run.outcome->value();
        QCOMPARE(wcs.width(), 1500);
        QCOMPARE(wcs.height(), 1000);
        QCOMPARE(wcs.catalogue(), QString("Tyc2"));
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
        const Outcome<SkyWcs> solved = PlateSolver().solve(noiseStars(800, 600, stars, 3), options);
        QCOMPARE(solved.reason(), reason);
        QCOMPARE(solved.failure().number, int(InvalidValue));
    }

    // A bad TMPDIR is named, and nothing written (no astrometry.cfg over the user's). A Vorlan
    // killed during a solve takes solve-field and its child with it; the next start removes the
    // folder it left, and keeps that of a running one.
    void leavesNoFilesNorProcesses() {
        QTemporaryDir scratch; // the working folder, with an astrometry.cfg of the user's
        const SolveOptions options = standInSolver(scratch.path());
        const QString current = QDir::currentPath();
        auto restore =
            qScopeGuard([&, tmp = qgetenv("TMPDIR")] { qputenv("TMPDIR", tmp), QDir::setCurrent(current); });
        QDir::setCurrent(scratch.path());
        for (const QString& tmp : {scratch.filePath("gone"), options.program, QString("tmp")}) {
            qputenv("TMPDIR", tmp.toUtf8());
            const Outcome<SkyWcs> solved = PlateSolver().solve(noiseStars(800, 600, 100, 3), options);
            QVERIFY2(solved.reason().contains(" " + tmp + " нет. Укажите в TMPDIR"),
                     qPrintable(solved.reason()));
        }
        QFile users(options.configFile);
        QVERIFY(users.open(QIODevice::ReadOnly) &&
                users.readAll() == "index " + scratch.filePath("index-4110.fits"));
        QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 3);
        qputenv("TMPDIR", scratch.path().toUtf8());
        QProcess vorlan;
        vorlan.setEnvironment(QProcess::systemEnvironment() << "SOLVE_STAND_IN=" + scratch.path());
        vorlan.start(QCoreApplication::applicationFilePath());
        QVERIFY(vorlan.waitForReadyRead(10000));
        const qint64 group =
            vorlan.readLine().trimmed().toLongLong(); // the stand-in, its child, the watchdog
        QVERIFY(group > 0 && QTest::qWaitFor([&] { return livingInGroup(group) == 3; }, 5000));
        const QStringList left = QDir().entryList({"vorlan-solve-*"}, QDir::Dirs);
        QVERIFY(left.size() == 1 && left[0].startsWith(QString("vorlan-solve-%1-").arg(vorlan.processId())));
        ::kill(pid_t(vorlan.processId()), SIGKILL);
        QVERIFY(vorlan.waitForFinished() && QTest::qWaitFor([&] { return livingInGroup(group) == 0; }, 1000));
        QTemporaryDir mine(SolveFolderTemplate());
        QCOMPARE(RemoveLeftoverSolveFolders(), 1);
        QVERIFY(!QFileInfo::exists(left[0]) && QFileInfo::exists(mine.path()));
    }
};

int main(int argc, char** argv) {
    // As the Vorlan that is killed: solves with the stand-in, tells the solver's group, waits.
    if (qEnvironmentVariableIsSet("SOLVE_STAND_IN")) {
        QCoreApplication app(argc, argv);
        PlateSolver solver;
        JobRunner jobs;
        jobs.start("solve", [&solver, options = standInSolver(qEnvironmentVariable("SOLVE_STAND_IN"))](
                                JobControl&) { solver.solve(noiseStars(800, 600, 100, 3), options); });
        while (!solver.isRunning())
            QThread::msleep(5);
        std::printf("%lld\n", solver.processGroup());
        std::fflush(stdout);
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    TestPlateSolver test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_platesolver.moc"
