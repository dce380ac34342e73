#include "session/session.h"

#include "common/jobrunner.h"
#include "common/vorlanerror.h"
#include "report/observationtime.h"
#include "stars/movingsearch.h"

#include <cmath>
#include <numbers>

namespace vorlan {

Outcome<LoadedPicture> readPicture(const QString& path, const PictureLoadOptions& options,
                                   int cameraClockOffsetMinutes) {
    DecodedPicture decoded = decodePictureFile(path, options);
    if (!decoded.ok()) return decoded.failure();
    const Outcome<QDateTime> time = pictureMidExposureUtc(path, cameraClockOffsetMinutes);
    return LoadedPicture{path, std::move(decoded).value(),
                         time.ok() ? std::optional<QDateTime>(time.value()) : std::nullopt, HeaderWcs(path)};
}

Session::Session(int count, QObject* parent) : QObject(parent), m_slots(size_t(std::max(count, 0))) {}

void Session::setCount(int n) {
    n = std::max(n, 0);
    if (n == count()) return;
    m_slots.resize(size_t(n));
    emit countChanged(n);
}

const Slot& Session::slot(int k) const {
    if (k < 1 || k > count())
        throw VorlanError(SubscriptOutOfRange, QStringLiteral("Нет снимка %1.").arg(k));
    return m_slots[size_t(k - 1)];
}

Slot& Session::at(int k) {
    return const_cast<Slot&>(std::as_const(*this).slot(k));
}

void Session::setPicture(int k, const QString& path, const QImage& picture) {
    setLoaded(k, LoadedPicture{path, picture, std::nullopt, SkyWcs()});
}

void Session::setLoaded(int k, const LoadedPicture& loaded) {
    Slot& s = at(k);
    s = Slot();
    s.path = loaded.path;
    s.picture = loaded.picture;
    s.version = loaded.picture.isNull() ? 0 : ++m_lastVersion;
    s.time = loaded.time;
    s.sky.wcs.header = loaded.headerWcs;
    if (loaded.headerWcs.isValid()) s.sky.wcs.source = SkySource::HeaderWcs;
    emit slotChanged(k, SlotPart::Picture | SlotPart::Points | SlotPart::Transform | SlotPart::Stars |
                            SlotPart::Time | SlotPart::Sky | SlotPart::Brightness);
    // The others were placed on the picture that went.
    if (k == 1)
        for (int other = 2; other <= count(); ++other)
            if (at(other).registration || at(other).brightness) {
                at(other).registration.reset();
                at(other).brightness.reset();
                emit slotChanged(other, SlotPart::Transform | SlotPart::Brightness);
            }
}

void Session::clear(int k) {
    setPicture(k, QString(), QImage());
}

void Session::setPoint(int k, int p, std::optional<QPointF> point) {
    if (p < 1 || p > 2) throw VorlanError(SubscriptOutOfRange, QStringLiteral("Нет точки %1.").arg(p));
    at(k).points[size_t(p - 1)] = point;
    emit slotChanged(k, SlotPart::Points);
}

void Session::setRegistration(int k, std::optional<SlotRegistrationState> registration) {
    at(k).registration = std::move(registration);
    emit slotChanged(k, SlotPart::Transform);
}

void Session::setStars(int k, quint64 version, const StarList& stars) {
    Slot& s = at(k);
    if (version != s.version) return; // found on a picture the slot no longer holds
    s.stars = stars;
    s.starsVersion = version;
    emit slotChanged(k, SlotPart::Stars);
}

void Session::setTime(int k, std::optional<QDateTime> time) {
    at(k).time = std::move(time);
    emit slotChanged(k, SlotPart::Time);
}

void Session::setSky(int k, const SlotSky& sky) {
    at(k).sky = sky;
    emit slotChanged(k, SlotPart::Sky);
}

void Session::setBrightness(int k, std::optional<BrightnessFit> fit) {
    at(k).brightness = fit;
    emit slotChanged(k, SlotPart::Brightness);
}

std::optional<SimilarityTransform> Session::toPicture1(int k) const {
    if (slot(1).empty() || slot(k).empty()) return std::nullopt;
    if (k == 1) return SimilarityTransform();
    if (const auto& r = slot(k).registration) return r->toPicture1;
    return std::nullopt;
}

std::optional<SkyCoord> Session::skyAtPicture1(QPointF pixel) const {
    const SlotSky& sky = slot(1).sky;
    if (const SkyWcs* wcs = sky.wcs.wcsInForce()) return wcs->pictureToSky(pixel);
    if (!sky.twoStars) return std::nullopt;
    try {
        // The two-star solution depends on ratios of distances only, so pixels serve as its units.
        const auto& [p1, p2] = sky.twoStars->points;
        const MarkedStars marked{{float(p1.x()), float(p1.y())}, {float(p2.x()), float(p2.y())},
                                 sky.twoStars->stars};
        const SkyFix fix = SolveAtScale(marked, 1.0f, {float(pixel.x()), float(pixel.y())});
        const double turn = 2 * std::numbers::pi;
        return SkyCoord{fix.ra - turn * std::floor(fix.ra / turn), fix.dec};
    } catch (const VorlanError&) {
        return std::nullopt;
    }
}

bool Session::findStars(int k, JobRunner& jobs, std::function<void()> then) {
    const Slot& s = slot(k);
    if (s.empty()) return false;
    if (s.currentStars()) {
        if (then) then();
        return true;
    }
    auto found = std::make_shared<StarList>();
    return jobs.start(
        QStringLiteral("Поиск звёзд снимка %1").arg(k),
        [picture = s.picture, found](JobControl&) { *found = detectForMovingSearch(picture); }, {},
        [this, k, version = s.version, found, then = std::move(then)](const JobEnd& end) {
            end.rethrowFailure();
            if (end.stopped || k > count() || slot(k).version != version) return;
            setStars(k, version, *found);
            if (then) then();
        });
}

} // namespace vorlan
