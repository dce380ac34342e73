// Solving a photograph with astrometry.net's solve-field from a star list: a field of real
// catalogue stars, handed over unsorted and with a scale hint, comes back where it was drawn, and
// a missing solver or index says what to install. With a stand-in solver: nothing of a run
// outlives a Vorlan killed during it, and nothing is written outside a usable temporary folder.
// (A solve through the window, a failing one and a stopped one: tst_skycoordinates.)

#include "sky/platesolver.h"
#include "support/catalogfield.h"
#include "support/datatable.h"
#include "support/wcsheader.h"

#include "support/processgroup.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>
#include <csignal>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Waits for the solver's outcome; false when neither signal came within seconds.
bool outcome(QSignalSpy& done, QSignalSpy& failed, int seconds) {
    return QTest::qWaitFor([&] { return done.count() + failed.count() > 0; }, seconds * 1000);
}

/// A stand-in for solve-field in folder: a shell script running body, and a configuration naming
/// one (empty) index file, so that a run gets as far as starting it.
SolveOptions standIn(const QString& folder, const QByteArray& body) {
    SolveOptions options;
    options.program = QDir(folder).filePath("solve-field");
    options.configFile = QDir(folder).filePath("astrometry.cfg");
    QFile script(options.program), config(options.configFile), index(QDir(folder).filePath("index-4110.fits"));
    if (script.open(QIODevice::WriteOnly)) script.write("#!/bin/sh\n" + body + "\n");
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    if (config.open(QIODevice::WriteOnly)) config.write("index " + index.fileName().toUtf8() + "\n");
    index.open(QIODevice::WriteOnly);
    return options;
}

/// A solve-field that hangs, with a child of its own as astrometry-engine would be.
const QByteArray Hangs = "sleep 600 &\nexec sleep 600";

/// The run of the test program as a Vorlan that solves with a hanging stand-in and is killed:
/// it prints the process group of the solver and waits.
int runKilledVorlan(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    PlateSolver solver;
    if (!solver.start(noiseStars(800, 600, 100, 3), standIn(qEnvironmentVariable("SOLVE_STAND_IN"), Hangs)))
        return 1;
    if (!QTest::qWaitFor([&] { return solver.processGroup() > 0; }, 5000)) return 1;
    std::printf("%lld\n", solver.processGroup());
    std::fflush(stdout);
    return app.exec();
}

/// Scoped TMPDIR and working folder.
struct Surroundings {
    QByteArray tmp = qgetenv("TMPDIR");
    QString current = QDir::currentPath();
    ~Surroundings() {
        qputenv("TMPDIR", tmp);
        QDir::setCurrent(current);
    }
};

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

    // tmp: TMPDIR inside a scratch folder, %1 standing for it.
    void refusesUnusableTemporaryFolder_data() {
        DataTable<QString>("tmp").row("missing", "%1/gone").row("a file", "%1/file").row("relative", "tmp");
    }
    // With no usable temporary folder the solve says which folder it could not use and writes
    // nothing, above all not its configuration over a user's astrometry.cfg in the working folder.
    void refusesUnusableTemporaryFolder() {
        QFETCH(QString, tmp);
        QTemporaryDir scratch;
        const SolveOptions options = standIn(scratch.path(), "exit 0");
        QDir work(scratch.filePath("work"));
        QVERIFY(work.mkpath("."));
        QFile users(work.filePath("astrometry.cfg")), file(scratch.filePath("file"));
        QVERIFY(users.open(QIODevice::WriteOnly) && users.write("add_path /home/me/index\n") > 0);
        users.close();
        QVERIFY(file.open(QIODevice::WriteOnly));
        Surroundings restore;
        QDir::setCurrent(work.path());
        const QString given = tmp.contains("%1") ? tmp.arg(scratch.path()) : tmp;
        qputenv("TMPDIR", given.toUtf8());

        PlateSolver solver;
        QSignalSpy done(&solver, &PlateSolver::finished), failed(&solver, &PlateSolver::failed);
        QVERIFY(solver.start(noiseStars(800, 600, 100, 3), options));
        QVERIFY(outcome(done, failed, 5));
        const QString reason = failed.value(0).value(0).toString();
        QVERIFY2(reason.contains(" " + QDir::toNativeSeparators(given) + " ") && reason.contains("TMPDIR"),
                 qPrintable(reason));
        QCOMPARE(work.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"astrometry.cfg"});
        QVERIFY(users.open(QIODevice::ReadOnly));
        QCOMPARE(users.readAll(), QByteArray("add_path /home/me/index\n"));
        // Nor is a folder that is no absolute path given a configuration.
        QVERIFY(SolveFieldOptions({options.configFile}, 800, 600, "", options).isEmpty());
        QVERIFY(SolveFieldOptions({options.configFile}, 800, 600, "work", options).isEmpty());
    }

    // A Vorlan killed with SIGKILL during a solve takes solve-field and its child with it within
    // a second; the folder it left is removed by the next start, the folder of a running one kept.
    void nothingOutlivesAKilledVorlan() {
        QTemporaryDir scratch;
        Surroundings restore;
        qputenv("TMPDIR", scratch.path().toUtf8());
        QProcess vorlan;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SOLVE_STAND_IN", scratch.path());
        vorlan.setProcessEnvironment(env);
        vorlan.start(QCoreApplication::applicationFilePath());
        QVERIFY(vorlan.waitForReadyRead(10000));
        const qint64 group = vorlan.readLine().trimmed().toLongLong();
        QVERIFY(group > 0);
        // The stand-in, its child and the watchdog.
        QVERIFY2(QTest::qWaitFor([&] { return livingInGroup(group) == 3; }, 5000), qPrintable(QString::number(livingInGroup(group))));
        const QStringList left = QDir(scratch.path()).entryList({"vorlan-solve-*"}, QDir::Dirs);
        QCOMPARE(left.size(), 1);
        QVERIFY(left[0].startsWith(QString("vorlan-solve-%1-").arg(vorlan.processId())));

        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(vorlan.processId()), SIGKILL);
        QVERIFY(vorlan.waitForFinished(5000));
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(group) == 0; }, 1000));
        qInfo("the solver's group ended %lld ms after the kill", clock.elapsed());

        QTemporaryDir mine(SolveFolderTemplate());
        QVERIFY(mine.isValid());
        QCOMPARE(RemoveLeftoverSolveFolders(), 1);
        QVERIFY(!QFileInfo::exists(scratch.filePath(left[0])));
        QVERIFY(QFileInfo::exists(mine.path()));
        QCOMPARE(RemoveLeftoverSolveFolders(), 0);
    }

    // A run that ends by itself leaves no process and no folder behind, and the solution names
    // the catalogue of the index that solved it.
    void solvedRunLeavesNothing() {
        QTemporaryDir scratch;
        Surroundings restore;
        qputenv("TMPDIR", scratch.filePath("tmp").toUtf8());
        QVERIFY(QDir(scratch.path()).mkdir("tmp"));
        const TanPicture tan{150 * Rad, 20 * Rad, 1.0, 0, 800, 600};
        const QString solution = scratch.filePath("solution.wcs");
        QCOMPARE(writeFitsWithCards(solution, blankPicture(800, 600),
                                    tanHeaderCards(tan) << "COMMENT Index name: /usr/share/astrometry/"
                                                           "index-tycho2-10.littleendian.fits"
                                                        << "COMMENT Index id: 4110"),
                 0);
        // The solution beside the star list; a child that outlives the stand-in.
        const SolveOptions options = standIn(
            scratch.path(), "sleep 600 &\ncp '" + solution.toUtf8() + "' \"$(dirname \"$1\")/stars.wcs\"");
        PlateSolver solver;
        QSignalSpy done(&solver, &PlateSolver::finished), failed(&solver, &PlateSolver::failed);
        QVERIFY(solver.start(noiseStars(800, 600, 100, 3), options));
        QVERIFY(QTest::qWaitFor([&] { return solver.processGroup() > 0; }, 5000));
        const qint64 group = solver.processGroup();
        QVERIFY(outcome(done, failed, 10));
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        QCOMPARE(done.first().first().value<SkyWcs>().catalogue(), QString("Tyc2"));
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(group) == 0; }, 1000));
        QCOMPARE(QDir(scratch.filePath("tmp")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("SOLVE_STAND_IN")) return runKilledVorlan(argc, argv);
    QCoreApplication app(argc, argv);
    TestPlateSolver test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_platesolver.moc"
