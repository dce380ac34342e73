#include "sky/platesolver.h"

#include "common/jobrunner.h"
#include "stars/stardetect.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fitsio.h>
#include <unistd.h>
#include <vector>

namespace vorlan {

const QString SolverMissingText =
    QStringLiteral("Не найден solve-field: установите пакеты astrometry.net и astrometry-data-tycho2.");
const QString IndexMissingText = QStringLiteral("Не найдены индексные файлы astrometry.net: установите пакет "
                                                "astrometry-data-tycho2 (поля от 30' и шире).");

QString SolvingText(int stars) {
    return QStringLiteral("Звёзд на снимке: %1. Поиск по каталогу...").arg(stars);
}

namespace {

const QString FailedPrefix = QStringLiteral("Не удалось определить координаты по звёздам: ");
/// solve-field needs a quadrangle of stars and a few more to check it against.
constexpr int FewestStars = 5;
const QString DefaultConfig = QStringLiteral("/etc/astrometry.cfg");

double headerNumber(fitsfile* f, const char* key) {
    double v = 0;
    int status = 0;
    return fits_read_key(f, TDOUBLE, key, &v, nullptr, &status) ? 0 : v;
}

} // namespace

ScaleHint ScaleHintFromOptics(double focalLengthMm, double pixelMicrons, double margin) {
    if (!(focalLengthMm > 0) || !(pixelMicrons > 0)) return {};
    // 206.265 arc-seconds per micrometre at one millimetre of focal length.
    const double scale = 206.264806 * pixelMicrons / focalLengthMm;
    return {scale * (1 - margin), scale * (1 + margin)};
}

ScaleHint ScaleHintFromHeader(const QString& fitsPath) {
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_open_diskfile(&f, QFile::encodeName(fitsPath).constData(), READONLY, &status)) return {};
    ScaleHint hint;
    // The first HDU with a focal length: the primary one, or the image of a compressed file.
    for (int hdu = 1; !hint.known(); ++hdu) {
        int type = 0;
        if (fits_movabs_hdu(f, hdu, &type, &status)) break;
        const double focal = headerNumber(f, "FOCALLEN");
        double pixel = headerNumber(f, "XPIXSZ");
        if (!(pixel > 0)) {
            pixel = headerNumber(f, "PIXSIZE1");
            if (!(pixel > 0)) pixel = headerNumber(f, "PIXSIZE");
            const double binning = headerNumber(f, "XBINNING");
            if (binning >= 1) pixel *= binning;
        }
        hint = ScaleHintFromOptics(focal, pixel);
    }
    int closing = 0;
    fits_close_file(f, &closing);
    return hint;
}

ScaleHint ScaleHintFromWcs(const SkyWcs& wcs, double margin) {
    const double scale = wcs.arcsecPerPixel();
    if (!(scale > 0)) return {};
    return {scale * (1 - margin), scale * (1 + margin)};
}

namespace {

/// The upper bound of the quadrangle sizes an index file holds (SCALE_U, radians); a large
/// value when the header does not say, so that such a file is tried last.
double quadScale(const QString& index) {
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_open_diskfile(&f, QFile::encodeName(index).constData(), READONLY, &status)) return 1e9;
    const double scale = headerNumber(f, "SCALE_U");
    int closing = 0;
    fits_close_file(f, &closing);
    return scale > 0 ? scale : 1e9;
}

} // namespace

QStringList AstrometryIndexFiles(const QString& configFile) {
    QFile config(configFile.isEmpty() ? DefaultConfig : configFile);
    if (!config.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    const QDir base = QFileInfo(config.fileName()).absoluteDir();
    QStringList files;
    QTextStream in(&config);
    while (!in.atEnd()) {
        const QStringList words = in.readLine().simplified().split(QLatin1Char(' '));
        if (words.size() < 2) continue;
        const QString where = base.absoluteFilePath(words[1]);
        if (words[0] == QLatin1String("add_path")) {
            for (const QFileInfo& file : QDir(where).entryInfoList(
                     {QStringLiteral("index*.fits"), QStringLiteral("index*.fits.fz")}, QDir::Files))
                files << file.absoluteFilePath();
        } else if (words[0] == QLatin1String("index")) {
            // An index line names the file with or without its .fits ending.
            for (const QString& name : {where, where + QStringLiteral(".fits")})
                if (QFileInfo(name).isFile()) {
                    files << name;
                    break;
                }
        }
    }
    files.removeDuplicates();
    std::vector<std::pair<double, QString>> byScale;
    for (const QString& file : files)
        byScale.emplace_back(quadScale(file), file);
    std::stable_sort(byScale.begin(), byScale.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    files.clear();
    for (const auto& [scale, file] : byScale)
        files << file;
    return files;
}

int WriteXyList(const QString& path, const StarList& list) {
    std::vector<Star> stars;
    for (const Star& s : list.stars)
        if (!(s.flags & (StarHotPixel | StarTrail | StarEdge))) stars.push_back(s);
    // solve-field takes the list in the order given and tries quadrangles of the first stars
    // first: brightest first finds a field many times sooner.
    std::stable_sort(stars.begin(), stars.end(),
                     [](const Star& a, const Star& b) { return a.flux > b.flux; });
    std::vector<double> x(stars.size()), y(stars.size()), flux(stars.size());
    for (size_t i = 0; i < stars.size(); ++i) {
        const QPointF p = SkyWcs::fitsFromPicture(stars[i].position(), list.height);
        x[i] = p.x();
        y[i] = p.y();
        flux[i] = stars[i].flux;
    }
    QFile::remove(path);
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_diskfile(&f, QFile::encodeName(path).constData(), &status);
    char xName[] = "X", yName[] = "Y", fluxName[] = "FLUX", form[] = "1D";
    char* names[] = {xName, yName, fluxName};
    char* forms[] = {form, form, form};
    fits_create_tbl(f, BINARY_TBL, LONGLONG(stars.size()), 3, names, forms, nullptr, "SOURCES", &status);
    int w = list.width, h = list.height;
    fits_write_key(f, TINT, "IMAGEW", &w, "picture width, pixels", &status);
    fits_write_key(f, TINT, "IMAGEH", &h, "picture height, pixels", &status);
    if (!stars.empty()) {
        fits_write_col(f, TDOUBLE, 1, 1, 1, LONGLONG(stars.size()), x.data(), &status);
        fits_write_col(f, TDOUBLE, 2, 1, 1, LONGLONG(stars.size()), y.data(), &status);
        fits_write_col(f, TDOUBLE, 3, 1, 1, LONGLONG(stars.size()), flux.data(), &status);
    }
    int closing = 0;
    if (f) fits_close_file(f, &closing);
    return status || closing ? -1 : int(stars.size());
}

QStringList SolveFieldOptions(const QStringList& indexes, int width, int height, const QString& dir,
                              const SolveOptions& options) {
    // The engine tries the index files in the order its configuration lists them and keeps the
    // first that solves. The installed configuration takes the sparsest first; the densest that
    // fits the field matches several times as many stars, and the distortion fitted to them
    // holds to the corners.
    // A relative or empty folder would put the configuration into the working folder, over a
    // file of the user's.
    if (!QDir::isAbsolutePath(dir) || !QFileInfo(dir).isDir()) return {};
    const QString config = QDir(dir).filePath(QStringLiteral("astrometry.cfg"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return {};
    QTextStream out(&file);
    for (const QString& index : indexes)
        out << "index " << index << '\n';
    out.flush();
    if (file.error() != QFile::NoError) return {};

    QStringList args = {
        QStringLiteral("--config"), config, QStringLiteral("--width"), QString::number(width),
        QStringLiteral("--height"), QString::number(height), QStringLiteral("--cpulimit"),
        QString::number(options.timeLimitSeconds), QStringLiteral("--no-plots"),
        QStringLiteral("--overwrite"), QStringLiteral("--dir"), dir, QStringLiteral("--temp-dir"), dir,
        // Only the WCS is read: the other outputs are not written.
        QStringLiteral("--corr"), QStringLiteral("none"), QStringLiteral("--match"), QStringLiteral("none"),
        QStringLiteral("--rdls"), QStringLiteral("none"), QStringLiteral("--index-xyls"),
        QStringLiteral("none"), QStringLiteral("--new-fits"), QStringLiteral("none")};
    if (options.scale.known())
        args << QStringLiteral("--scale-units") << QStringLiteral("arcsecperpix")
             << QStringLiteral("--scale-low") << QString::number(options.scale.low, 'g', 8)
             << QStringLiteral("--scale-high") << QString::number(options.scale.high, 'g', 8);
    return args;
}

namespace {

const QString SolveFolderPrefix = QStringLiteral("vorlan-solve-");

/// When a process started, in clock ticks since boot (field 22 of /proc/<pid>/stat); empty
/// when there is no such process. With the process id it names one process for good.
QString processStart(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return {};
    // "pid (name) state ppid ...": the name may hold blanks, so count after its ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

} // namespace

QString SolveFolderTemplate() {
    const qint64 pid = QCoreApplication::applicationPid();
    return QDir(QDir::tempPath())
        .filePath(SolveFolderPrefix + QStringLiteral("%1-%2-XXXXXX").arg(pid).arg(processStart(pid)));
}

int RemoveLeftoverSolveFolders() {
    int removed = 0;
    if (QDir::tempPath().isEmpty()) return 0; // no temporary folder: nothing was left there
    const QDir temp(QDir::tempPath());
    for (const QString& name :
         temp.entryList({SolveFolderPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        // vorlan-solve-<pid>-<start>-XXXXXX
        const QStringList parts = name.mid(SolveFolderPrefix.size()).split(QLatin1Char('-'));
        bool ok = false;
        const qint64 pid = parts.value(0).toLongLong(&ok);
        if (parts.size() != 3 || !ok || pid <= 0) continue;
        if (processStart(pid) == parts[1]) continue; // its owner still runs
        if (QDir(temp.filePath(name)).removeRecursively()) ++removed;
    }
    return removed;
}

namespace {

/// How often a running solver is checked for its end, a stop and the time limit, milliseconds.
constexpr int PollMs = 5;

qint64 monotonicNs() {
    static const QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.nsecsElapsed() + 1; // never 0, which means "not yet"
}

Failure solveFailure(const QString& reason) {
    return {InvalidValue, reason};
}

/// Kills the process group of a solver and collects its first process.
void killGroup(QProcess& process) {
    const qint64 group = process.processId();
    if (group > 0) ::kill(pid_t(-group), SIGKILL);
    // A killed process is gone in milliseconds; this only collects it.
    process.waitForFinished(1000);
}

/// The outcome of a solve-field that ended on its own, its outputs in dir.
Outcome<SkyWcs> solveFieldOutcome(QProcess& process, const QTemporaryDir& dir) {
    const QString wcsPath = dir.filePath(QStringLiteral("stars.wcs"));
    const bool normal = process.exitStatus() == QProcess::NormalExit;
    if (normal && process.exitCode() == 0 && QFile::exists(wcsPath)) {
        Outcome<SkyWcs> wcs = SkyWcs::fromFitsFile(wcsPath);
        if (!wcs.ok()) return solveFailure(FailedPrefix + wcs.reason());
        return wcs;
    }
    // solve-field ends with "Field 1 did not solve" when it searched and found nothing; its exit
    // code says the same as for a real error.
    const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (normal && (process.exitCode() == 0 || output.contains(QLatin1String("did not solve"))))
        return solveFailure(FailedPrefix + QStringLiteral("решение не найдено."));
    return solveFailure(FailedPrefix + QStringLiteral("solve-field завершился с ошибкой (%1).")
                                           .arg(output.section(QLatin1Char('\n'), -1).trimmed()));
}

} // namespace

double PlateSolver::elapsedSeconds() const {
    const qint64 started = m_startedNs;
    if (!started) return 0;
    const qint64 ended = m_endedNs;
    return double((ended ? ended : monotonicNs()) - started) * 1e-9;
}

Outcome<SkyWcs> PlateSolver::solve(const StarList& stars, const SolveOptions& options) {
    m_endedNs = 0;
    m_startedNs = monotonicNs();
    const auto ended = qScopeGuard([this] { m_endedNs = monotonicNs(); });

    const QString program = QFileInfo(options.program).isAbsolute()
                                ? (QFileInfo(options.program).isExecutable() ? options.program : QString())
                                : QStandardPaths::findExecutable(options.program);
    if (program.isEmpty()) return solveFailure(SolverMissingText);
    const QStringList indexes = AstrometryIndexFiles(options.configFile);
    if (indexes.isEmpty()) return solveFailure(IndexMissingText);

    // Everything the run writes goes into a folder of its own, and nowhere else: Qt names no
    // temporary folder (an empty path, that is the working folder) when TMPDIR is missing.
    const QString temp = QDir::tempPath();
    const QString named = QDir::toNativeSeparators(temp.isEmpty() ? qEnvironmentVariable("TMPDIR") : temp);
    if (temp.isEmpty() || !QDir::isAbsolutePath(temp) || !QFileInfo(temp).isDir())
        return solveFailure(FailedPrefix + QStringLiteral("временной папки %1 нет. Укажите в TMPDIR папку, "
                                                          "доступную для записи.")
                                               .arg(named));
    const QTemporaryDir dir(SolveFolderTemplate());
    if (!dir.isValid())
        return solveFailure(FailedPrefix + QStringLiteral("во временной папке %1 не создаётся папка (%2). "
                                                          "Укажите в TMPDIR папку, доступную для записи.")
                                               .arg(named, dir.errorString()));
    QStringList args = SolveFieldOptions(indexes, stars.width, stars.height, dir.path(), options);
    const QString xyList = dir.filePath(QStringLiteral("stars.xyls"));
    const int written = WriteXyList(xyList, stars);
    if (args.isEmpty() || written < 0)
        return solveFailure(FailedPrefix + QStringLiteral("не записаны файлы во временную папку %1.")
                                               .arg(QDir::toNativeSeparators(dir.path())));
    if (written < FewestStars)
        return solveFailure(FailedPrefix + QStringLiteral("на снимке слишком мало звёзд (%1).").arg(written));
    args.prepend(xyList);

    int lifeline[2] = {-1, -1};
    if (::pipe2(lifeline, O_CLOEXEC) != 0)
        return solveFailure(FailedPrefix + QStringLiteral("не создаётся канал к процессу (%1).").arg(errno));
    // Closing the write end, however this run ends, lets the watchdog end the group: whatever of
    // the solver is left, and itself.
    const auto dropLifeline = qScopeGuard([keep = lifeline[1]] { ::close(keep); });
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so that a stop reaches the engine solve-field starts as well. A
    // watchdog in that group waits on a pipe only this process writes to: when this process
    // ends, however it ends, the pipe closes and the watchdog kills the group. Only calls that
    // are safe between fork and exec are made here.
    process.setChildProcessModifier([watch = lifeline[0], keep = lifeline[1]] {
        ::setpgid(0, 0);
        if (::fork() == 0) {
            ::close(keep);
            if (watch != 3) ::dup2(watch, 3);
            // Holds none of the solver's or QProcess's pipes open.
            const int quiet = ::open("/dev/null", O_RDWR);
            for (int fd = 0; fd < 3; ++fd)
                ::dup2(quiet, fd);
            ::close_range(4, ~0U, 0);
            char byte = 0;
            while (::read(3, &byte, 1) < 0 && errno == EINTR) {
            }
            ::kill(0, SIGKILL);
            ::_exit(0);
        }
        ::close(watch);
    });
    process.start(program, args);
    ::close(lifeline[0]);
    if (!process.waitForStarted(-1)) return solveFailure(SolverMissingText);
    m_group = process.processId();
    const auto gone = qScopeGuard([this] { m_group = 0; });

    // The job waits here; its stop and the time limit are looked at between short waits.
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(options.timeLimitSeconds) * 1000;
    int shownSeconds = -1;
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(PollMs)) {
        if (stopRequestedHere()) {
            killGroup(process);
            return stoppedFailure();
        }
        if (clock.elapsed() >= limitMs) {
            killGroup(process);
            return solveFailure(FailedPrefix +
                                QStringLiteral("решение не найдено за %1 с.").arg(options.timeLimitSeconds));
        }
        if (JobControl* c = JobControl::current(); c && clock.elapsed() / 1000 != shownSeconds) {
            shownSeconds = int(clock.elapsed() / 1000);
            c->progress(shownSeconds, options.timeLimitSeconds, SolvingText(int(stars.stars.size())));
        }
    }
    if (process.error() == QProcess::FailedToStart) return solveFailure(SolverMissingText);
    return solveFieldOutcome(process, dir);
}

Outcome<SkyWcs> PlateSolver::solvePicture(const QImage& picture, const SolveOptions& options) {
    const StarList stars = detectStars(picture);
    if (stopRequestedHere()) return stoppedFailure();
    if (JobControl* c = JobControl::current())
        c->progress(0, options.timeLimitSeconds, SolvingText(int(stars.stars.size())));
    return solve(stars, options);
}

} // namespace vorlan
