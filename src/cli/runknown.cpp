// vorlan known: the known minor planets and comets in the field of a picture with a sky mapping
// (its header's, or the .wcs file a solve wrote beside it) and a time.

#include "cli/console.h"
#include "cli/findreport.h"
#include "cli/fitsoutput.h"
#include "cli/runs.h"
#include "cli/subcommand.h"
#include "common/fileerror.h"
#include "common/jobrunner.h"
#include "report/observationtime.h"
#include "session/pipeline.h"
#include "sky/picturesky.h"

#include <QFileInfo>
#include <cerrno>
#include <memory>

namespace vorlan {

Outcome<std::vector<KnownObject>> knownInField(const SkyWcs& wcs, const QDateTime& utc,
                                               const ReportSettings& settings, JobRunner& jobs) {
    auto known = std::make_shared<std::vector<KnownObject>>();
    auto failure = std::make_shared<std::optional<Failure>>();
    KnownObjectOptions options;
    options.magnitudeLimit = settings.knownMagnitudeLimit;
    const Outcome<void> ran = runJob(
        jobs, QStringLiteral("Известные объекты"),
        [files = settings.orbitFilesOnly(), wcs, utc, where = settings.observatory(), options, known,
         failure](JobControl& c) {
            std::vector<OrbitRecord> orbits;
            for (const QString& f : files) {
                Outcome<OrbitCatalogue> read = loadOrbitFile(f, &c);
                if (!read.ok()) {
                    *failure = Failure{read.failure().number, f + QStringLiteral(": ") + read.reason()};
                    return;
                }
                orbits.insert(orbits.end(), read.value().orbits.begin(), read.value().orbits.end());
            }
            c.progress(0, 1, QStringLiteral("положения известных объектов"));
            *known = knownObjectsInPicture(orbits, wcs, utc, where, options, &c);
        });
    if (!ran.ok()) return ran.failure();
    if (*failure) return **failure;
    return *known;
}

int runKnown(const CliConfig& c, Console& console, JobRunner& jobs) {
    const QString Prefix = QStringLiteral("vorlan known: ");
    const QString& file = c.files[0];
    if (!QFileInfo::exists(file)) {
        console.problem(Prefix + file + QStringLiteral(": ") + fileErrorReason(ENOENT, false));
        return ExitUnreadable;
    }
    SkyWcs wcs = HeaderWcs(file);
    if (!wcs.isValid() && QFileInfo::exists(wcsFilePath(file)))
        wcs = SkyWcs::fromFitsFile(wcsFilePath(file)).valueOr(SkyWcs());
    if (!wcs.isValid()) {
        console.problem(Prefix + file + QStringLiteral(": нет WCS ни в заголовке, ни в файле %1 (vorlan solve)")
                                            .arg(wcsFilePath(file)));
        return ExitNothing;
    }
    const Outcome<QDateTime> time = pictureMidExposureUtc(file, c.settings.cameraClockOffsetMinutes);
    if (!time.ok()) {
        console.problem(Prefix + file + QStringLiteral(": ") + time.reason());
        return time.failure().number == BadFile || time.failure().number == FileNotFound ? ExitUnreadable
                                                                                          : ExitNothing;
    }
    const Outcome<std::vector<KnownObject>> known = knownInField(wcs, time.value(), c.settings, jobs);
    if (!known.ok()) {
        console.problem(Prefix + known.reason());
        return ExitUnreadable;
    }
    console.note(QStringLiteral("%1: известных объектов: %2").arg(file).arg(known.value().size()));
    if (known.value().empty()) return ExitNothing;
    console.result(knownReport(c.report, known.value()));
    return ExitResults;
}

} // namespace vorlan
