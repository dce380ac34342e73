// vorlan stack: a series registered and stacked into groups, written as FITS files.

#include "cli/console.h"
#include "cli/fitsoutput.h"
#include "cli/runs.h"
#include "cli/subcommand.h"
#include "common/jobrunner.h"
#include "session/pipeline.h"
#include "sky/picturesky.h"

#include <QDir>
#include <memory>

namespace vorlan {

Outcome<WrittenStacks> stackFiles(const QStringList& files, const StackOptions& options, const QString& folder,
                                  Console& console, JobRunner& jobs) {
    auto series = std::make_shared<SeriesRegistration>();
    const Outcome<void> registered =
        runJob(jobs, QStringLiteral("Совмещение серии"),
               [files, so = options.series, series](JobControl& c) { *series = registerSeries(files, so, &c); });
    if (!registered.ok()) return registered.failure();
    WrittenStacks written;
    for (const SeriesFrame& frame : series->frames) {
        if (frame.reason.isEmpty()) continue;
        console.problem(QStringLiteral("%1: %2").arg(frame.path, frame.reason));
        // A frame that was read has a size; one without could not be read at all.
        written.unreadable = written.unreadable || frame.size.isEmpty();
    }
    auto stacks = std::make_shared<Outcome<SeriesStacks>>(SeriesStacks{});
    const Outcome<void> stacked =
        runJob(jobs, QStringLiteral("Сложение"),
               [series, options, stacks](JobControl& c) { *stacks = stackSeries(*series, options, &c); });
    if (!stacked.ok()) return stacked.failure();
    if (!stacks->ok()) return Failure{written.unreadable ? BadFile : stacks->failure().number, stacks->reason()};
    if (!QDir().mkpath(folder))
        return Failure{PathNotFound, QStringLiteral("Не создаётся папка %1.").arg(folder)};
    // The stacks lie on the reference frame's pixels, so its sky mapping is theirs.
    const SkyWcs wcs = HeaderWcs(series->frames[series->reference].path);
    const QVector<SeriesStack>& all = stacks->value().stacks;
    for (int k = 0; k < all.size(); ++k) {
        const QString path = QDir(folder).filePath(QStringLiteral("stack-%1.fits").arg(k + 1));
        if (const Outcome<void> saved = writeStackFits(path, all[k], wcs); !saved.ok()) return saved.failure();
        written.files << path;
        written.captions << stackCaption(k + 1, all[k]);
    }
    return written;
}

int runStack(const CliConfig& c, Console& console, JobRunner& jobs) {
    StackOptions options;
    options.groups = c.groups;
    options.motion = c.motion;
    options.series.cameraClockOffsetMinutes = c.settings.cameraClockOffsetMinutes;
    const Outcome<WrittenStacks> written = stackFiles(c.files, options, c.outDir, console, jobs);
    if (!written.ok()) {
        console.problem(QStringLiteral("vorlan stack: ") + written.reason());
        return written.failure().number == BadFile ? ExitUnreadable : ExitNothing;
    }
    for (int k = 0; k < written.value().files.size(); ++k)
        console.result(written.value().files[k] + QLatin1Char('\t') + written.value().captions[k] + QLatin1Char('\n'));
    return written.value().unreadable ? ExitUnreadable : ExitResults;
}

} // namespace vorlan
