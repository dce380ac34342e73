#pragma once

// The subcommands, each given its command line, the console and the one job runner; each
// returns its exit status (cli/subcommand.h).

#include "cli/cliconfig.h"
#include "common/outcome.h"
#include "report/knownobjects.h"

#include <QDateTime>
#include <QStringList>
#include <vector>

namespace vorlan {

class Console;
class JobRunner;

int runFind(const CliConfig& config, Console& console, JobRunner& jobs);
int runSolve(const CliConfig& config, Console& console, JobRunner& jobs);
int runStack(const CliConfig& config, Console& console, JobRunner& jobs);
int runKnown(const CliConfig& config, Console& console, JobRunner& jobs);

/// The stacks of a series as written.
struct WrittenStacks {
    QStringList files;    ///< one a stack, in time order
    QStringList captions; ///< stackCaption of each
    bool unreadable = false; ///< a frame could not be read (said on the console, and left out)
};

/// Registers and stacks the frames of files as options say and writes the stacks into folder
/// (made when missing) as stack-1.fits, stack-2.fits, ...; each frame left out is said on
/// console with its reason.
Outcome<WrittenStacks> stackFiles(const QStringList& files, const StackOptions& options, const QString& folder,
                                  Console& console, JobRunner& jobs);

/// The known objects on the picture of wcs at utc, from the orbit files and for the observer
/// of settings.
Outcome<std::vector<KnownObject>> knownInField(const SkyWcs& wcs, const QDateTime& utc,
                                               const ReportSettings& settings, JobRunner& jobs);

} // namespace vorlan
