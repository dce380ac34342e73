#include "session/pipeline.h"

#include "common/jobrunner.h"
#include "common/vorlanerror.h"
#include "registration/autoregistration.h"
#include "registration/handregistration.h"
#include "report/sightingreport.h"
#include "session/session.h"
#include "sky/wcsregistration.h"
#include "stars/stardetect.h"

#include <QEventLoop>
#include <algorithm>
#include <memory>
#include <vector>

namespace vorlan {

namespace {

const QString TooFewReason = QStringLiteral("Нужно не меньше двух снимков.");

/// Waits, in an event loop of the calling thread, until jobs has no job running.
void waitForJobs(JobRunner& jobs) {
    if (!jobs.busy()) return;
    QEventLoop loop;
    QObject::connect(&jobs, &JobRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

Outcome<QStringList> load(Session& session, JobRunner& jobs, const PipelineOptions& options) {
    auto read = std::make_shared<std::vector<Outcome<LoadedPicture>>>();
    const Outcome<void> ran = runJob(jobs, QStringLiteral("Загрузка снимков"), [&options, read](JobControl& c) {
        for (int i = 0; i < options.files.size() && !c.stopRequested(); ++i) {
            c.progress(i, int(options.files.size()));
            read->push_back(readPicture(options.files[i], options.load, options.report.cameraClockOffsetMinutes));
        }
    });
    if (!ran.ok()) return ran.failure();
    QStringList unreadable;
    std::vector<LoadedPicture> loaded;
    for (size_t i = 0; i < read->size(); ++i) {
        const Outcome<LoadedPicture>& picture = (*read)[i];
        if (picture.ok()) {
            loaded.push_back(picture.value());
            continue;
        }
        if (!options.skipUnreadable)
            return Failure{picture.failure().number, options.files[int(i)] + QStringLiteral("\n") + picture.reason()};
        unreadable << QStringLiteral("%1: %2").arg(options.files[int(i)], picture.reason());
    }
    if (loaded.size() < 2)
        return Failure{unreadable.isEmpty() ? InvalidArgument : BadFile,
                       (unreadable + QStringList{TooFewReason}).join('\n')};
    session.setCount(int(loaded.size()));
    for (int k = 1; k <= int(loaded.size()); ++k)
        session.setLoaded(k, loaded[size_t(k - 1)]);
    return unreadable;
}

/// Gives picture 1 a solved WCS when it has none in force.
Outcome<void> solvePicture1(Session& session, JobRunner& jobs, const SolveOptions& options) {
    const Slot& one = session.slot(1);
    if (one.sky.wcs.wcsInForce()) return {};
    Outcome<SkyWcs> solved = solvePicture(one.picture, jobs, options);
    if (!solved.ok()) return solved.failure();
    SlotSky sky = one.sky;
    sky.wcs.solved = std::move(solved).value();
    sky.wcs.source = SkySource::SolvedWcs;
    session.setSky(1, sky);
    return {};
}

Outcome<QStringList> registerAll(Session& session, JobRunner& jobs) {
    const QImage one = session.slot(1).picture;
    QVector<QPair<int, QImage>> others;
    QVector<std::optional<SimilarityTransform>> skyGuesses;
    const SkyWcs* sky1 = session.slot(1).sky.wcs.wcsInForce();
    for (int k = 2; k <= session.count(); ++k) {
        others.append({k, session.slot(k).picture});
        // Where the stars cannot be matched, the WCSs of both pictures may still register them.
        skyGuesses.append(wcsGuess(sky1, session.slot(k).sky.wcs.header));
    }
    auto result = std::make_shared<AutoRegistration>();
    const Outcome<void> ran =
        runJob(jobs, QStringLiteral("Совмещение снимков"), [one, others, skyGuesses, result](JobControl& c) {
            *result = registerOnPicture1(one, others, &c, skyGuesses);
        });
    if (!ran.ok()) return ran.failure();
    if (result->stopped) return stoppedFailure();
    QStringList summaries;
    for (const RegisteredPicture& r : result->pictures) {
        if (!r.match.ok()) {
            // Picture 2 is the search's partner; a later one that fails is left out of it.
            if (r.picture == 2)
                return Failure{InvalidValue, registrationFailure(r.picture, r.match.failure())};
            continue;
        }
        session.setRegistration(
            r.picture,
            SlotRegistrationState{r.match.value().transform, RegistrationSource::Stars, r.turn, r.turned});
        for (int p = 1; p <= 2; ++p)
            session.setPoint(r.picture, p, r.points[size_t(p - 1)]);
        summaries << registrationSummary(r.picture, r.match.value());
    }
    for (int p = 1; p <= 2; ++p)
        session.setPoint(1, p, result->points[size_t(p - 1)]);
    return summaries;
}

Outcome<void> findAllStars(Session& session, JobRunner& jobs, const QVector<int>& searched) {
    for (int k : searched) {
        if (!session.findStars(k, jobs))
            return Failure{InvalidValue, QStringLiteral("Подождите: ещё идёт \"%1\".").arg(jobs.title())};
        waitForJobs(jobs);
        if (!session.slot(k).currentStars()) return stoppedFailure();
    }
    return {};
}

Outcome<MovingSearchResult> search(const Session& session, JobRunner& jobs, const QVector<int>& searched,
                                   const MovingSearchOptions& options) {
    QVector<SearchPicture> pictures;
    for (int k : searched) {
        const Slot& s = session.slot(k);
        SearchPicture p{*s.currentStars(), *session.toPicture1(k), s.picture, std::nullopt};
        if (s.time) p.hours = double(s.time->toMSecsSinceEpoch()) / 3600000.0;
        // Two reference stars place a picture to a pixel or two; the stars both lists hold place
        // it to a fraction.
        if (!pictures.isEmpty()) p.toPicture1 = refineTransform(pictures[0].stars, p.stars, p.toPicture1);
        pictures << p;
    }
    auto found = std::make_shared<MovingSearchResult>();
    const Outcome<void> ran =
        runJob(jobs, QStringLiteral("Поиск движущихся объектов"),
               [pictures, options, found](JobControl&) { *found = findMovingObjects(pictures, options); });
    if (!ran.ok()) return ran.failure();
    return *found;
}

} // namespace

Outcome<void> runJob(JobRunner& jobs, const QString& title, std::function<void(JobControl&)> work) {
    auto ended = std::make_shared<JobEnd>();
    if (!jobs.start(title, std::move(work), {}, [ended](const JobEnd& end) { *ended = end; }))
        return Failure{InvalidValue, QStringLiteral("Подождите: ещё идёт \"%1\".").arg(jobs.title())};
    waitForJobs(jobs);
    if (ended->stopped) return stoppedFailure();
    try {
        ended->rethrowFailure();
    } catch (const VorlanError& e) {
        return Failure{e.number(), e.description()};
    } catch (const std::exception& e) {
        return Failure{InvalidValue, QString::fromLocal8Bit(e.what())};
    }
    return {};
}

Outcome<SkyWcs> solvePicture(const QImage& picture, JobRunner& jobs, const SolveOptions& options) {
    auto solved = std::make_shared<std::optional<Outcome<SkyWcs>>>();
    const Outcome<void> ran =
        runJob(jobs, QStringLiteral("Определение координат"), [picture, options, solved](JobControl&) {
            *solved = PlateSolver().solvePicture(picture, options);
        });
    if (!ran.ok()) return ran.failure();
    return **solved;
}

Outcome<PipelineResult> runPipeline(Session& session, JobRunner& jobs, const PipelineOptions& options) {
    if (options.files.size() < 2)
        return Failure{InvalidArgument, TooFewReason};
    Outcome<QStringList> loaded = load(session, jobs, options);
    if (!loaded.ok()) return loaded.failure();

    PipelineResult result;
    result.unreadable = std::move(loaded).value();
    Outcome<QStringList> registered = registerAll(session, jobs);
    if (!registered.ok()) return registered.failure();
    result.registered = std::move(registered).value();
    for (int k = 1; k <= session.count(); ++k)
        if (session.toPicture1(k)) result.pictureSlots << k;

    if (const Outcome<void> stars = findAllStars(session, jobs, result.pictureSlots); !stars.ok())
        return stars.failure();
    if (options.solve)
        if (const Outcome<void> solved = solvePicture1(session, jobs, *options.solve); !solved.ok())
            return solved.failure();
    if (!session.skyAtPicture1(QPointF(session.slot(1).picture.width(), session.slot(1).picture.height()) / 2))
        return Failure{InvalidValue, QStringLiteral("Нет привязки снимка 1 к небу: в его заголовке нет WCS.")};

    Outcome<MovingSearchResult> found = search(session, jobs, result.pictureSlots, options.search);
    if (!found.ok()) return found.failure();
    result.search = std::move(found).value();

    const SkyOfPixel sky = [&session](QPointF p) { return session.skyAtPicture1(p); };
    result.rows = moverRows(result.search, sky);
    const auto first = std::find_if(result.rows.begin(), result.rows.end(),
                                    [](const MoverRow& r) { return r.candidate >= 0; });
    if (first != result.rows.end()) {
        QVector<Observation> observations = sightingObservations(
            rowSightings(result.search, result.pictureSlots, *first),
            [&session](int k) { return session.slot(k).time; }, sky, options.report);
        for (Observation& o : observations) o.catalogue = session.slot(1).sky.wcs.catalogue();
        if (!observations.isEmpty()) result.report = reportText(observations, options.report.adesContext());
    }
    return result;
}

} // namespace vorlan
