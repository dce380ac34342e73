// The program without a window, run as a script runs it: the moving objects of three FITS
// pictures reported as the window reports them, a picture solved into a .wcs file, a series
// stacked into FITS files, and the exit status and standard error of a run that meets bad files
// or a bad command line.

#include "common/jobrunner.h"
#include "session/pipeline.h"
#include "session/session.h"
#include "support/catalogfield.h"
#include "support/ceresfield.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/moverfits.h"
#include "support/seriesframes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

struct Ran {
    int status = -1;
    QString out, err;
};

/// A header keyword of a FITS file's first HDU as text; empty when missing.
QString fitsKey(const QString& path, const char* key) {
    int status = 0;
    fitsfile* f = nullptr;
    char value[FLEN_VALUE] = {};
    fits_open_diskfile(&f, QFile::encodeName(path).constData(), READONLY, &status);
    fits_read_keyword(f, key, value, nullptr, &status);
    int closing = 0;
    if (f) fits_close_file(f, &closing);
    return status ? QString() : QString::fromLatin1(value).remove('\'').trimmed();
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QStringList movers; ///< three FITS pictures with movers and a header WCS
    PipelineResult inProcess;

    /// Runs the program with arguments as a script without a display would, its settings and
    /// caches in folders of the test's own.
    Ran vorlan(const QStringList& arguments) {
        QProcess p;
        QProcessEnvironment env;
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("LC_ALL", "C.UTF-8");
        p.setProcessEnvironment(env);
        p.start(VORLAN_BINARY, arguments);
        if (!p.waitForFinished(240000)) return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

  private slots:
    void initTestCase() {
        movers = writeMoverFits(dir, smallMoverField());
        Session session;
        JobRunner jobs;
        const Outcome<PipelineResult> run = runPipeline(session, jobs, {.files = movers});
        QVERIFY2(run.ok(), qPrintable(run.reason()));
        inProcess = run.value();
        QVERIFY(writeFile(dir, "damaged.fits", readFile(movers[2]).left(20000)) != QString());
    }

    // Every form of the report on standard output only, and the progress as plain lines on
    // standard error (it is no terminal here) unless --quiet; a damaged or missing third
    // picture is named with the window's reason, exit status 3, and the other two are still
    // searched.
    void findReportsWhatTheWindowReports_data() {
        DataTable<QStringList, QString, int>("options", "third", "status")
            .row("80-column lines", {"--report", "mpc"}, "mover3.fits", 0)
            .row("list, quiet", {"--quiet"}, "mover3.fits", 0)
            .row("CSV", {"--report", "csv"}, "mover3.fits", 0)
            .row("JSON", {"--report", "json", "--designation", "KS0099"}, "mover3.fits", 0)
            .row("ADES", {"--report", "ades", "--submitter", "A. Nonymous", "--measurers", "B. C"}, "mover3.fits", 0)
            .row("damaged third picture", {"--report", "mpc"}, "damaged.fits", 3)
            .row("missing third picture", {"--report", "mpc"}, "absent.fits", 3);
    }
    void findReportsWhatTheWindowReports() {
        QFETCH(QStringList, options);
        QFETCH(QString, third);
        QFETCH(int, status);
        const Ran r = vorlan(QStringList{"find", movers[0], movers[1], dir.filePath(third)} + options);
        QCOMPARE(r.status, status);
        const QStringList err = r.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(options.contains("--quiet"), !err.contains("Поиск движущихся объектов..."));
        const int candidates = int(std::ranges::count_if(inProcess.rows, [](const MoverRow& m) { return m.candidate >= 0; }));
        const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
        const QString format = options.value(options.indexOf("--report") + 1);
        if (status == 3) {
            const QString reason = third.startsWith("damaged") ? damagedReason() : QString("файл не найден");
            QVERIFY2(r.err.contains(QString("vorlan find: %1: ").arg(dir.filePath(third))) && r.err.contains(reason),
                     qPrintable(r.err));
            // Two pictures still give their pairs, dated as the first two of the three.
            QVERIFY2(!out.isEmpty() && out[0].mid(15, 17) == MoverFitsDays[0] && out[1].mid(15, 17) == MoverFitsDays[1],
                     qPrintable(r.out));
        } else if (format == "mpc") {
            // The window's "Копировать строку отчёта" of the first candidate, then the others'.
            QCOMPARE(out.mid(0, 3), inProcess.report.split('\n').mid(0, 3));
            QCOMPARE(out.size(), 3 * candidates);
            QVERIFY(out[3].startsWith("     VRL0002  C"));
        } else if (format == "csv") {
            QCOMPARE(out.size(), 1 + candidates);
            QVERIFY(out[0].startsWith("number,x,y,ra,dec,utc,speed"));
            QCOMPARE(out[1].section(',', 1, 2), QString("%1,%2").arg(inProcess.search.movers[inProcess.rows[0].candidate].at[0].x(), 0, 'f', 2)
                                                     .arg(inProcess.search.movers[inProcess.rows[0].candidate].at[0].y(), 0, 'f', 2));
        } else if (format == "json") {
            const QJsonArray objects = QJsonDocument::fromJson(r.out.toUtf8()).array();
            QCOMPARE(objects.size(), candidates);
            const QJsonObject first = objects[0].toObject();
            QCOMPARE(first["designation"].toString(), QString("KS0099"));
            QCOMPARE(objects[1].toObject()["designation"].toString(), QString("KS0100"));
            QCOMPARE(first["observations"].toArray()[0].toObject()["mpc"].toString().mid(15),
                     inProcess.report.split('\n')[0].mid(15));
            QCOMPARE(first["positions"].toArray().size(), 3);
        } else if (format == "ades") {
            QVERIFY2(r.out.startsWith("# version=2017\n# observatory\n! mpcCode 500\n# submitter\n! name A. Nonymous\n"),
                     qPrintable(r.out));
            QCOMPARE(int(std::ranges::count_if(out, [](const QString& l) { return l.startsWith("VRL"); })), 3 * candidates);
        } else {
            // The rows of the list "Движущиеся объекты", as the window shows them.
            QCOMPARE(out.size(), candidates);
            QCOMPARE(out[0], inProcess.rows[0].cells.join('\t'));
        }
    }

    // A 2° field of real Tycho-2 stars with nothing in its header, given between a missing and
    // a damaged file: each of those is named, the picture is solved and its .wcs file beside
    // it puts the corners within 1" of the projection it was drawn with.
    void solveWritesTheSolutionBesideThePicture() {
        const TanPicture tan{84 * Rad, -1.5 * Rad, 2.0, 30.0, 1500, 1000};
        const QString file = dir.filePath("belt.fits");
        QCOMPARE(writeFits(file, catalogField(tan, 7).picture, FitsLayout{}), 0);
        const Ran r = vorlan({"solve", dir.filePath("absent.fits"), file, dir.filePath("damaged.fits"), "--scale-low",
                              "4", "--scale-high", "6"});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains("absent.fits: ") && r.err.contains("damaged.fits: " + damagedReason()), qPrintable(r.err));
        const Outcome<SkyWcs> read = SkyWcs::fromFitsFile(dir.filePath("belt.wcs"));
        QVERIFY2(read.ok(), qPrintable(read.reason()));
        const SkyWcs& wcs = read.value();
        QCOMPARE(fitsKey(dir.filePath("belt.wcs"), "NAXIS"), QString("0"));
        double worst = 0;
        for (const QPointF p : {QPointF(0.5, 0.5), QPointF(1499.5, 0.5), QPointF(0.5, 999.5), QPointF(1499.5, 999.5)}) {
            SkyCoord drawn;
            tan.skyAt(p.x(), p.y(), drawn.ra, drawn.dec);
            worst = std::max(worst, arcsec(wcs.pictureToSky(p), drawn));
        }
        qInfo("corners within %.3f\" of the drawn projection", worst);
        QVERIFY2(worst < 1, qPrintable(QString::number(worst)));
        // One line: the centre, the field, the scale (2° over 1500 pixels) and the turn.
        QVERIFY2(r.out.startsWith(file + ": центр 05h 36.0m  -01°30' (84.0000") && r.out.count('\n') == 1, qPrintable(r.out));
        QVERIFY2(r.out.contains("поле 2.000° x 1.33") && r.out.contains("масштаб 4.80"), qPrintable(r.out));
        const double turn = r.out.section("поворот ", 1).chopped(2).toDouble();
        QVERIFY2(std::fabs(std::remainder(turn - 30.0, 360)) < 0.05, qPrintable(r.out));

        // The search solves it too when asked: it gets as far as searching, and finds nothing.
        QVERIFY(QFile::remove(dir.filePath("belt.wcs")));
        const Ran find = vorlan({"find", "--solve", file, file});
        QVERIFY2(find.status == 1 && find.err.contains("\nПоиск движущихся объектов...\n"), qPrintable(find.err));
    }

    // Ten frames into groups of stacks, along a motion or not, one frame damaged: the stacks are
    // 32-bit floats with the reference frame's WCS and their frames' mean mid-exposure time.
    void stackWritesFloatFits_data() {
        DataTable<QStringList, int>("options", "groups")
            .row("three groups", {"--groups", "3"}, 3)
            .row("two groups along a motion", {"--groups", "2", "--motion", "120,90"}, 2);
    }
    void stackWritesFloatFits() {
        QFETCH(QStringList, options);
        QFETCH(int, groups);
        SeriesScene s = smallerScene(500, 400, 10, 150);
        s.withWcs = true;
        s.turnDegrees = 0;
        const QString frames = dir.filePath(QString("frames%1").arg(groups));
        QDir().mkpath(frames);
        QStringList paths = writeSeries(s, frames).paths;
        QVERIFY(writeFile(paths[9], readFile(paths[9]).left(30000)));
        const QString out = dir.filePath(QString("stacks%1").arg(groups));
        const Ran r = vorlan(QStringList{"stack", "--out", out} + options + paths);
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(paths[9] + ": "), qPrintable(r.err));
        QCOMPARE(r.out.count('\n'), groups);
        // Nine good frames a minute apart, each in the middle 25 s after its start; the later
        // groups are the larger ones.
        int first = 0;
        for (int k = 1; k <= groups; ++k) {
            const QString stack = QDir(out).filePath(QString("stack-%1.fits").arg(k));
            QVERIFY2(r.out.contains(stack + "\tстопка " + QString::number(k)), qPrintable(r.out));
            const int n = 9 / groups + (k > groups - 9 % groups ? 1 : 0);
            const QDateTime mean = s.start.addSecs(25 + 60 * first).addMSecs(qint64(60000 * (n - 1) / 2.0));
            first += n;
            QCOMPARE(fitsKey(stack, "BITPIX"), QString("-32"));
            QCOMPARE(fitsKey(stack, "NAXIS1") + "x" + fitsKey(stack, "NAXIS2"), QString("500x400"));
            QCOMPARE(fitsKey(stack, "DATE-OBS"), mean.toString("yyyy-MM-ddTHH:mm:ss.zzz"));
            QCOMPARE(fitsKey(stack, "NCOMBINE"), QString::number(n));
            QVERIFY(SkyWcs::fromFitsFile(stack).ok());
        }
    }

    // A series of thirty frames with a mover too faint for one frame (3.5 sigmas) and slow enough
    // to stay a point within a stack, stacked into three and searched: reported at the first
    // stack's mean time, where it was then.
    void findOnASeries() {
        SeriesScene s;
        s.withWcs = true;
        s.turnDegrees = 0;
        s.movers = {{QPointF(300, 400), QPointF(0.4, 0.1)}};
        const QString frames = dir.filePath("series");
        QDir().mkpath(frames);
        const Ran r = vorlan(QStringList{"find", "--series", "--report", "csv"} + writeSeries(s, frames).paths);
        QVERIFY2(r.status == 0, qPrintable(r.err.right(300)));
        const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(out.size() == 2, qPrintable(r.out));
        // Stack 1 holds frames 0 to 9: their mean middle is 4.5 frames and 25 s after the start.
        const QPointF at(out[1].section(',', 1, 1).toDouble(), out[1].section(',', 2, 2).toDouble());
        QVERIFY2(QLineF(at, moverAt(s, 0, 4.5 + 25.0 / 60)).length() < 0.5, qPrintable(out[1]));
        QCOMPARE(out[1].section(',', 5, 5), s.start.addSecs(4 * 60 + 55).toString(Qt::ISODateWithMs));
    }

    // The deep search of a series whose mover no frame shows: three lines, each at the mean time of
    // a third of the frames, where the mover then stood within an arc second; the same object in CSV.
    void deepFindOnASeries() {
        const SeriesScene s = faintMoverScene();
        const QString frames = dir.filePath("faint");
        QDir().mkpath(frames);
        const QStringList paths = writeSeries(s, frames).paths;
        const Ran r = vorlan(QStringList{"find", "--series", "--deep", "--report", "mpc"} + paths);
        QVERIFY2(r.status == 0, qPrintable(r.err.right(300)));
        const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(out.size() == 3, qPrintable(r.out));
        const SkyWcs wcs = SkyWcs::fromFitsFile(paths[0]).value();
        for (int k = 0; k < 3; ++k) {
            const QDateTime t = meanFrameTime(s, 6 * k, 6 * k + 5);
            QCOMPARE(out[k].mid(15, 10), t.toString("yyyy MM dd"));
            QVERIFY(std::abs(out[k].mid(25, 6).toDouble() - t.time().msecsSinceStartOfDay() / 86400000.0) < 6e-6);
            QVERIFY2(arcsec(wcs.pictureToSky(moverAt(s, 0, 6 * k + 2.5)), mpcLineSky(out[k])) < 1.0, qPrintable(out[k]));
        }
        const Ran csv = vorlan(QStringList{"find", "--series", "--deep", "--report", "csv", "--quiet"} + paths);
        const QStringList rows = csv.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(csv.status == 0 && rows.size() == 2 && csv.err.isEmpty(), qPrintable(csv.out + csv.err));
        QCOMPARE(rows[1].section(',', 7, 7), QString("px/h"));
        QCOMPARE(rows[1].section(',', 5, 5), meanFrameTime(s, 0, 5).toString(Qt::ISODateWithMs));
    }

    // Two pictures centred on (1) Ceres 40 minutes apart with a dot moving as it does, and the
    // orbits of it and two others in the field: listed as the window lists them, and the dot
    // found and reported under Ceres' packed number.
    void knownObjectsNamed_data() {
        DataTable<QStringList, int, QString>("arguments", "lines", "said")
            .row("known, listed", {"known", "ceres1.fits"}, 4, "\n(1)\t23 15 39.0")
            .row("known, CSV", {"known", "ceres1.fits", "--report", "csv"}, 4, "\n(1),348.91")
            .row("found", {"find", "ceres1.fits", "ceres2.fits", "--report", "mpc"}, -1,
                 "00001         C2026 03 16.08333 23 15 39.")
            .row("found, listed", {"find", "ceres1.fits", "ceres2.fits"}, -1, "\t(1)\n");
    }
    void knownObjectsNamed() {
        QFETCH(QStringList, arguments);
        QFETCH(int, lines);
        QFETCH(QString, said);
        const QString orbits = writeFile(dir, "MPCORB.DAT", ceresOrbitFile());
        ceresPicture(dir, "ceres1.fits", "2026-03-16T01:59:45", Ceres.ra, Ceres.dec);
        ceresPicture(dir, "ceres2.fits", "2026-03-16T02:39:45", Ceres.laterRa, Ceres.laterDec);
        arguments.replaceInStrings(QRegularExpression("^ceres"), dir.filePath("ceres"));
        const Ran r = vorlan(arguments + QStringList{"--orbits", orbits});
        QCOMPARE(r.status, 0);
        QVERIFY2(("\n" + r.out).contains(said), qPrintable(r.out));
        QVERIFY2(lines < 0 || r.out.count('\n') == lines, qPrintable(r.out));
    }

    // Help without a display, and each command line that cannot be carried out: exit status 2
    // with the reason on standard error and nothing on standard output.
    void usage_data() {
        DataTable<QStringList, int, QString>("arguments", "status", "said")
            .row("find --help", {"find", "--help"}, 0, "vorlan find [")
            .row("solve --help", {"solve", "--help"}, 0, "--scale-low")
            .row("stack --help", {"stack", "--help"}, 0, "--motion")
            .row("known --help", {"known", "--help"}, 0, "--orbits")
            .row("one picture", {"find", "a.fits"}, 2, "Нужно два или три снимка")
            .row("deep search of no series", {"find", "--deep", "a", "b", "c"}, 2, "--deep ищет по серии")
            .row("unknown report", {"find", "--report", "xml", "a", "b"}, 2, "Вид вывода \"xml\" неизвестен")
            .row("ADES without a submitter", {"find", "--report", "ades", "a", "b"}, 2, "отправитель, измерители")
            .row("stack without a folder", {"stack", "a", "b", "c"}, 2, "--out")
            .row("motion not two numbers", {"stack", "--out", "x", "--motion", "12", "a"}, 2, "--motion")
            .row("option of another", {"solve", "--groups", "2", "a"}, 2, "--groups не относится к vorlan solve")
            .row("known without orbits", {"known", "a.fits"}, 2, "--orbits");
    }
    void usage() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        const Ran r = vorlan(arguments);
        QCOMPARE(r.status, status);
        QVERIFY2((status ? r.err : r.out).contains(said), qPrintable(r.out + r.err));
        QVERIFY2(status ? r.out.isEmpty() : r.out.contains("Использование:"), qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
