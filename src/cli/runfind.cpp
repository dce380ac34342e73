// vorlan find: the window's chain (load, register, stars, sky, search) on two or three pictures
// or on the three stacks of a series, and one report of every moving object it finds.

#include "cli/console.h"
#include "cli/findreport.h"
#include "cli/runs.h"
#include "cli/subcommand.h"
#include "common/jobrunner.h"
#include "deep/deepplan.h"
#include "deep/deeprows.h"
#include "report/designations.h"
#include "report/sightingreport.h"
#include "session/pipeline.h"
#include "session/session.h"
#include "sky/picturesky.h"

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

/// find --series --deep: the series registered and searched by its motions, each object reported
/// by three sub-stacks along its motion, on the sky by the reference frame's header.
int deepFind(const CliConfig& c, Console& console, JobRunner& jobs, const AdesContext& context) {
    SeriesOptions so;
    so.cameraClockOffsetMinutes = c.settings.cameraClockOffsetMinutes;
    auto series = std::make_shared<SeriesRegistration>();
    const Outcome<void> registered = runJob(jobs, QStringLiteral("Совмещение серии"), [&c, so, series](JobControl& j) {
        *series = registerSeries(c.files, so, &j);
    });
    if (!registered.ok()) {
        console.problem(Prefix + registered.reason());
        return ExitNothing;
    }
    bool unreadable = false;
    for (const SeriesFrame& frame : series->frames) {
        if (frame.reason.isEmpty()) continue;
        console.problem(Prefix + QStringLiteral("%1: %2").arg(frame.path, frame.reason));
        unreadable = unreadable || frame.size.isEmpty();
    }
    auto searched = std::make_shared<Outcome<DeepSearchResult>>(DeepSearchResult{});
    const Outcome<void> ran = runJob(jobs, QStringLiteral("Глубокий поиск"), [series, searched](JobControl& j) {
        *searched = deepSearch(*series, {}, &j);
    });
    if (!ran.ok() || !searched->ok()) {
        console.problem(Prefix + (ran.ok() ? searched->reason() : ran.reason()));
        return unreadable ? ExitUnreadable : ExitNothing;
    }
    if (c.solve)
        console.problem(Prefix + QStringLiteral("--solve не применяется к глубокому поиску: координаты "
                                                "берутся из заголовка опорного кадра"));
    const DeepSearchResult& r = searched->value();
    const SkyWcs wcs = HeaderWcs(series->frames[series->reference].path);
    const SkyOfPixel sky = [&wcs](QPointF p) { return wcs.isValid() ? wcs.pictureToSky(p) : std::nullopt; };
    const QVector<MoverRow> rows = deepMoverRows(r, sky);
    QVector<FoundObject> found;
    for (int i = 0; i < r.candidates.size(); ++i) {
        const QVector<DeepSighting> seen = deepSightings(*series, r, r.candidates[i]);
        QVector<Sighting> sightings;
        for (int k = 0; k < seen.size(); ++k)
            sightings.push_back({k, seen[k].at});
        ReportSettings numbered = c.settings;
        numbered.designation = numberedDesignation(c.settings.designation, i);
        FoundObject f{rows[i], asMovingCandidate(r.candidates[i], seen), {}, {}};
        f.observations = sightingObservations(
            sightings, [&seen](int k) { return std::optional<QDateTime>(seen.value(k).utc); }, sky, numbered);
        for (Observation& o : f.observations)
            o.catalogue = wcs.catalogue();
        found << f;
    }
    console.note(QStringLiteral("%1: глубокий поиск: найдено объектов: %2").arg(c.files.value(0)).arg(found.size()));
    if (!found.isEmpty()) console.result(findReport(c.report, found, context));
    if (unreadable) return ExitUnreadable;
    return found.isEmpty() ? ExitNothing : ExitResults;
}

} // namespace

int runFind(const CliConfig& c, Console& console, JobRunner& jobs) {
    const AdesContext context = c.settings.adesContext();
    if (c.report == QLatin1String("ades") && !context.missing().isEmpty()) {
        console.problem(Prefix + adesLackingText(context.missing()) +
                        QStringLiteral(" (или --submitter и --measurers)"));
        return ExitBadUsage;
    }
    if (c.deep) return deepFind(c, console, jobs, context);

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
