#pragma once

// The chain a user goes through in the main window, run without one: load the pictures,
// register them on picture 1 (by their stars; by their header WCSs where the stars do not
// match), find their stars, take picture 1's sky from its header, search for moving objects and
// write the report of the first candidate. Each step runs as a job on the one job runner and
// leaves its results in the session, as the window's steps do; the caller's thread waits in an
// event loop meanwhile, so this runs under QCoreApplication (the command line) as well as
// beside a window.

#include "common/outcome.h"
#include "report/moverrows.h"
#include "report/reportsettings.h"
#include "sky/platesolver.h"
#include "stars/movingsearch.h"
#include "view/picturefile.h"

#include <QStringList>
#include <functional>
#include <optional>

namespace vorlan {

class JobControl;
class JobRunner;
class Session;

struct PipelineOptions {
    QStringList files;        ///< picture 1 first, then the pictures to search it against
    PictureLoadOptions load;  ///< how the pictures are decoded
    ReportSettings report;    ///< designation, station and the camera clock of EXIF times
    MovingSearchOptions search;
    /// A picture that cannot be read is left out (named in PipelineResult::unreadable) and the
    /// chain goes on with the others, as long as two remain; otherwise the first one stops it.
    bool skipUnreadable = false;
    /// When given, picture 1 is solved from its stars when its header has no WCS.
    std::optional<SolveOptions> solve;
};

struct PipelineResult {
    QStringList unreadable;        ///< "file: reason" a picture left out (skipUnreadable)
    QStringList registered;        ///< one summary a registered picture, as the window's info box shows it
    QVector<int> pictureSlots;     ///< the slot of each picture of the search
    MovingSearchResult search;     ///< positions in picture 1's pixels
    QVector<MoverRow> rows;        ///< the list "Движущиеся объекты" would show
    QString report;                ///< the report of the first candidate (80-column lines, then ADES);
                                   ///< empty when none was found
};

/// Runs the chain on session (which gets as many slots as there are files) with jobs. A failure
/// says which step stopped it: a picture that cannot be read, picture 2 not registered, no sky
/// for picture 1, a stop ("Прервать"), a job that threw.
Outcome<PipelineResult> runPipeline(Session& session, JobRunner& jobs, const PipelineOptions& options);

/// Runs work as a job on jobs and waits for its end in an event loop of the calling thread: a
/// failure when the runner is taken, the job was stopped ("Прервано.") or it threw.
Outcome<void> runJob(JobRunner& jobs, const QString& title, std::function<void(JobControl&)> work);

/// The WCS of picture (its stars found as the window finds them for a solve, then solve-field
/// run on them), waited for in an event loop of the calling thread. A failure carries the
/// solver's Russian reason, or says a job was stopped.
Outcome<SkyWcs> solvePicture(const QImage& picture, JobRunner& jobs, const SolveOptions& options);

} // namespace vorlan
