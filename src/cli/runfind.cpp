// vorlan find: the window's chain (load, register, stars, sky, search) on two or three pictures
// or on the three stacks of a series, and one report of every moving object it finds.

#include "cli/console.h"
#include "cli/findreport.h"
#include "cli/runs.h"
#include "cli/subcommand.h"
#include "common/jobrunner.h"
#include "report/designations.h"
#include "report/sightingreport.h"
#include "session/pipeline.h"
#include "session/session.h"

#include <QTemporaryDir>
#include <algorithm>

namespace vorlan {

namespace {

const QString Prefix = QStringLiteral("vorlan find: ");

/// The smallest motion between the stacks of a series, in star widths.
constexpr double SeriesMinStepFwhm = 1.2;

/// Every candidate of the run as the report takes it, numbered in the list's order.
QVector<FoundObject> foundObjects(const Session& session, const PipelineResult& r, const ReportSettings& settings,
                                  const std::vector<KnownObject>& known) {
    const SkyOfPixel sky = [&session](QPointF p) { return session.skyAtPicture1(p); };
    const TimeOfSlot time = [&session](int k) { return session.slot(k).time; };
    const SkyWcs* wcs = session.slot(1).sky.wcs.wcsInForce();
    QVector<FoundObject> found;
    for (const MoverRow& row : r.rows) {
        if (row.candidate < 0) continue;
        FoundObject f{row, r.search.movers[row.candidate], {}, {}};
        ReportSettings numbered = settings;
        numbered.designation = numberedDesignation(settings.designation, int(found.size()));
        f.observations = sightingObservations(rowSightings(r.search, r.pictureSlots, row), time, sky, numbered);
        QString knownColumns;
        if (const std::optional<SkyCoord> at = sky(f.candidate.at[0]); at && wcs)
            if (const int i = matchKnownObject(known, *at, candidateSkyMotion(f.candidate, *wcs)); i >= 0) {
                f.known = known[size_t(i)].designation;
                knownColumns = reportDesignationColumns(known[size_t(i)].packed);
            }
        // The list's column of the known object, filled as the window fills it.
        if (knownObjectColumn() < f.row.cells.size()) f.row.cells[knownObjectColumn()] = f.known;
        for (Observation& o : f.observations) {
            o.catalogue = session.slot(1).sky.wcs.catalogue();
            o.knownColumns = knownColumns;
        }
        found << f;
    }
    return found;
}

} // namespace

int runFind(const CliConfig& c, Console& console, JobRunner& jobs) {
    if (c.deep) {
        console.problem(Prefix + QStringLiteral("глубокий поиск ещё не доступен"));
        return ExitBadUsage;
    }
    const AdesContext context = c.settings.adesContext();
    if (c.report == QLatin1String("ades") && !context.missing().isEmpty()) {
        console.problem(Prefix + adesLackingText(context.missing()) +
                        QStringLiteral(" (или --submitter и --measurers)"));
        return ExitBadUsage;
    }

    bool unreadable = false;
    PipelineOptions options;
    options.files = c.files;
    options.report = c.settings;
    options.search = c.search;
    options.skipUnreadable = true;
    QTemporaryDir stacks;
    if (c.series) {
        StackOptions stacking;
        stacking.series.cameraClockOffsetMinutes = c.settings.cameraClockOffsetMinutes;
        const Outcome<WrittenStacks> written = stackFiles(c.files, stacking, stacks.path(), console, jobs);
        if (!written.ok()) {
            console.problem(Prefix + written.reason());
            return written.failure().number == BadFile ? ExitUnreadable : ExitNothing;
        }
        unreadable = written.value().unreadable;
        options.files = written.value().files;
        // An object that stays a point within a stack moves little more than a star's width from
        // one stack to the next: ten frames carry a typical slow one 4 pixels, 1.4 widths.
        options.search.minStepFwhm = std::min(options.search.minStepFwhm, SeriesMinStepFwhm);
    }
    if (c.solve) {
        options.solve = SolveOptions{};
        options.solve->scale = c.scale.known() ? c.scale : ScaleHintFromHeader(options.files.value(0));
    }

    Session session;
    const Outcome<PipelineResult> run = runPipeline(session, jobs, options);
    if (!run.ok()) {
        for (const QString& line : run.reason().split(QLatin1Char('\n')))
            console.problem(Prefix + line);
        if (run.failure().number == BadFile || run.failure().number == FileNotFound) return ExitUnreadable;
        if (!c.solve && !session.slot(1).sky.wcs.wcsInForce() && session.count() > 0 && !session.slot(1).empty())
            console.problem(Prefix + QStringLiteral("координаты снимка 1 можно определить по звёздам: --solve"));
        return unreadable ? ExitUnreadable : ExitNothing;
    }
    const PipelineResult& r = run.value();
    for (const QString& line : r.unreadable)
        console.problem(Prefix + line);
    unreadable = unreadable || !r.unreadable.isEmpty();

    std::vector<KnownObject> known;
    const SkyWcs* wcs = session.slot(1).sky.wcs.wcsInForce();
    if (!c.settings.orbitFilesOnly().isEmpty() && wcs && session.slot(1).time) {
        Outcome<std::vector<KnownObject>> inField = knownInField(*wcs, *session.slot(1).time, c.settings, jobs);
        if (!inField.ok()) {
            console.problem(Prefix + inField.reason());
            unreadable = true;
        } else {
            known = std::move(inField).value();
        }
    }
    const QVector<FoundObject> found = foundObjects(session, r, c.settings, known);
    console.note(QStringLiteral("%1: найдено объектов: %2").arg(c.files.value(0)).arg(found.size()));
    if (!found.isEmpty()) console.result(findReport(c.report, found, context));
    if (unreadable) return ExitUnreadable;
    return found.isEmpty() ? ExitNothing : ExitResults;
}

} // namespace vorlan
