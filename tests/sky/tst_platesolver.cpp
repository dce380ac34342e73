// Solving a photograph with astrometry.net's solve-field from the picture's star list: a field of
// real catalogue stars comes back where it was drawn, a field of noise fails within its limit,
// a stop ends the whole process tree, and a missing solver or index says what to install.

#include "sky/platesolver.h"
#include "support/catalogfield.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>
#include <csignal>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Processes of a process group that are still alive (not zombies waiting to be collected).
int livingInGroup(qint64 group) {
    int living = 0;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // "pid (name) state ppid pgrp ...": the name may hold blanks, so read after its ')'.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 2 && f[2].toLongLong() == group && f[0] != "Z") ++living;
    }
    return living;
}

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

    void solvesCatalogueField_data() {
        QTest::addColumn<double>("ra");
        QTest::addColumn<double>("dec");
        QTest::addColumn<double>("rotation");
        QTest::addColumn<bool>("hint");
        QTest::newRow("Orion, turned, no hint") << 84.0 << -1.5 << 30.0 << false;
        QTest::newRow("Cygnus, scale hint") << 305.0 << 41.0 << -100.0 << true;
    }
    // A 2° field of real Tycho-2 stars drawn through a known projection is found, and its
    // positions at five points lie within 2" of that projection.
    void solvesCatalogueField() {
        QFETCH(double, ra);
        QFETCH(double, dec);
        QFETCH(double, rotation);
        QFETCH(bool, hint);
        const TanPicture tan{ra * Rad, dec * Rad, 2.0, rotation, 1500, 1000};
        const CatalogField field = catalogField(tan, 7);
        QVERIFY2(field.stars.stars.size() > 40, qPrintable(QString::number(field.stars.stars.size())));
        // Unsorted, as a detection working in bands might hand it over: the solver sorts.
        StarList shuffled = field.stars;
        std::reverse(shuffled.stars.begin(), shuffled.stars.end());

        SolveOptions options;
        if (hint) options.scale = ScaleHintFromOptics(386.75, 9); // 4.80"/px, 2° over 1500 pixels
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
        double worst = 0;
        for (const QPointF p :
             {QPointF(750, 500), QPointF(10, 10), QPointF(1490, 15), QPointF(20, 985), QPointF(1400, 900)}) {
            double skyRa = 0, skyDec = 0;
            tan.skyAt(p.x(), p.y(), skyRa, skyDec);
            const std::optional<SkyCoord> solved = wcs.pictureToSky(p);
            QVERIFY(solved);
            worst = std::max(worst, arcMinutesBetween(solved->ra, solved->dec, skyRa, skyDec) * 60);
        }
        qInfo("largest difference from the drawn projection: %.3f\"", worst);
        QVERIFY2(worst < 2, qPrintable(QString::number(worst)));
        QVERIFY(std::fabs(std::remainder(wcs.plateFacts().angle / Rad - rotation, 360)) < 0.05);
    }

    // A list of noise matches nothing: the run ends within its limit with a message.
    void noiseFailsWithinLimit() {
        PlateSolver solver;
        QSignalSpy done(&solver, &PlateSolver::finished), failed(&solver, &PlateSolver::failed);
        SolveOptions options;
        options.timeLimitSeconds = 8;
        QVERIFY(solver.start(noiseStars(1500, 1000, 300, 11), options));
        QVERIFY(outcome(done, failed, options.timeLimitSeconds + 2));
        QVERIFY(done.isEmpty());
        const QString reason = failed.first().first().toString();
        QVERIFY2(reason.startsWith("Не удалось определить координаты по звёздам: решение не найдено"),
                 qPrintable(reason));
        QVERIFY(solver.elapsedSeconds() < options.timeLimitSeconds + 1);
        QVERIFY(!solver.isRunning());
    }

    // A stop ends solve-field and the engine it started within a second.
    void stopEndsTheProcessTree() {
        PlateSolver solver;
        QSignalSpy failed(&solver, &PlateSolver::failed);
        QVERIFY(solver.start(noiseStars(1500, 1000, 300, 12)));
        const qint64 group = solver.processGroup();
        QVERIFY(group > 0);
        // solve-field hands the list to astrometry-engine, a process of its own.
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(group) >= 2; }, 10000));
        QElapsedTimer clock;
        clock.start();
        solver.stop();
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(group) == 0; }, 1000));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(!solver.isRunning());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), QString("Определение координат прервано."));
    }

    void refusesWithoutWhatItNeeds_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("config"); // index folder line, or empty for the installed one
        QTest::addColumn<int>("stars");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no solver") << "/nonexistent/solve-field"
                                   << "" << 100 << SolverMissingText;
        QTest::newRow("no solver in PATH") << "solve-field-not-installed"
                                           << "" << 100 << SolverMissingText;
        QTest::newRow("no index files") << "solve-field"
                                        << "add_path %1" << 100 << IndexMissingText;
        QTest::newRow("too few stars")
            << "solve-field"
            << "" << 4 << "Не удалось определить координаты по звёздам: на снимке слишком мало звёзд (4).";
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
