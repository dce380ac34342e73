#pragma once

// Plate solving offline with astrometry.net: its solve-field runs as a separate process on the
// star list of a picture (it extracts no stars of its own), and the WCS it finds is read with
// wcslib. The process runs inside a job of the job runner.

#include "common/outcome.h"
#include "sky/skywcs.h"
#include "stars/starlist.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <atomic>

namespace vorlan {

/// A range of picture scales, arc-seconds per pixel. Both 0: no hint.
struct ScaleHint {
    double low = 0;
    double high = 0;
    bool known() const { return low > 0 && high >= low; }
};

/// The scale of a camera behind a lens: pixel size (micrometres) over focal length (mm), widened
/// by `margin` (0.1 = 10 %) either way. No hint when either is not positive.
ScaleHint ScaleHintFromOptics(double focalLengthMm, double pixelMicrons, double margin = 0.1);

/// The scale hint a FITS picture's header gives: FOCALLEN (mm) with XPIXSZ (micrometres, binning
/// included as written by camera programs) or PIXSIZE / PIXSIZE1 (micrometres of the sensor,
/// times XBINNING when present). No hint when the file is not FITS or lacks them.
ScaleHint ScaleHintFromHeader(const QString& fitsPath);

/// The scale of an earlier solution or a header WCS, widened by margin either way.
ScaleHint ScaleHintFromWcs(const SkyWcs& wcs, double margin = 0.05);

/// How solve-field is run.
struct SolveOptions {
    int timeLimitSeconds = 60; ///< wall time, also handed to solve-field as its CPU limit
    ScaleHint scale;
    QString program = QStringLiteral("solve-field"); ///< a path, or a name looked up in PATH
    /// astrometry.net's configuration naming the index folders; empty: the installed one
    /// (/etc/astrometry.cfg). Only its index files are used.
    QString configFile;
};

/// The index files the configuration names: files of its `index` lines and index*.fits in its
/// `add_path` folders, those of the smallest quadrangles (the densest catalogues) first. Empty
/// when there are none or the configuration cannot be read.
QStringList AstrometryIndexFiles(const QString& configFile = QString());

/// The Russian message for a solver that is not installed, and for missing index files.
extern const QString SolverMissingText;
extern const QString IndexMissingText;
/// The step a running solve shows: the stars found, and the catalogue being searched.
QString SolvingText(int stars);

/// Writes stars as astrometry.net's x/y list: a FITS binary table with columns X, Y and FLUX,
/// brightest first, in FITS pixels (1-based, row 1 at the bottom of the picture, see skywcs.h).
/// Stars flagged as hot pixels, trails or cut by the edge are left out. Returns the number of
/// stars written, or -1 on a write error.
int WriteXyList(const QString& path, const StarList& stars);

/// Everything solve-field is given besides its input (an x/y list or a picture) for a picture
/// width x height pixels: the time limit, the scale hint, the outputs in dir (only the WCS is
/// written, as <input name>.wcs) and a configuration written into dir that lists indexes in
/// the order given. Empty when the configuration cannot be written or dir is not an absolute
/// path of an existing folder (nothing is then written anywhere).
QStringList SolveFieldOptions(const QStringList& indexes, int width, int height, const QString& dir,
                              const SolveOptions& options);

/// The folder a solve works in: "vorlan-solve-<process id>-<its start time>-XXXXXX" in the
/// temporary folder, so that a later run can tell whose it is.
QString SolveFolderTemplate();

/// Removes the solve folders of runs whose process is gone (ended by a signal or a crash
/// before it could clean up): those of a live process, this one included, are kept. Returns
/// how many were removed.
int RemoveLeftoverSolveFolders();

/// solve-field run as the work of a job: solve() starts the process and waits for it, polling
/// the stop of the job it runs in every few milliseconds, so "Прервать", the progress line and
/// one job at a time are the job runner's. The solver runs in a process group of its own together
/// with a watchdog that kills the group as soon as this process is gone, so solve-field and
/// astrometry-engine do not outlive a Vorlan that was killed or crashed; a stop or the time limit
/// kills the group at once.
class PlateSolver {
  public:
    /// Solves a picture from its star list (picture pixels, StarList's frame; its width and
    /// height are the picture's), giving its WCS sized as the star list's picture. Fails, with a
    /// Russian reason, when something is missing (solver, index files, stars, a temporary
    /// folder), when the time limit passes or solve-field finds nothing, and when the job is
    /// stopped. Off a job's thread nothing stops it but the time limit.
    Outcome<SkyWcs> solve(const StarList& stars, const SolveOptions& options = {});
    /// Finds the stars of picture (stopped with the job as well) and solves from them.
    Outcome<SkyWcs> solvePicture(const QImage& picture, const SolveOptions& options = {});

    /// Process group of the running solver (its children included), 0 when none. Safe to ask
    /// from another thread while solve() runs.
    qint64 processGroup() const { return m_group; }
    bool isRunning() const { return processGroup() != 0; }
    /// Seconds since the start of the current or last solve(); safe from another thread.
    double elapsedSeconds() const;

  private:
    std::atomic<qint64> m_group{0};
    std::atomic<qint64> m_startedNs{0};
    std::atomic<qint64> m_endedNs{0};
};

} // namespace vorlan
