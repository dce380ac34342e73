// The moving-object search of the main window: the list of candidates, the pictures' observation
// times, the settings of the report and the report line itself.

#include "blink/markeroverlay.h"
#include "common/jobrunner.h"
#include "common/vorlanerror.h"
#include "notepad/frmast00.h"
#include "photometry/frmfm.h"
#include "registration/handregistration.h"
#include "registration/pointtext.h"
#include "report/frmmovers.h"
#include "report/frmsettings.h"
#include "report/moversession.h"
#include "report/mpcreport.h"
#include "report/observationtime.h"
#include "report/reportsettings.h"
#include "report/sightingreport.h"
#include "series/shownseries.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "sky/picturesky.h"
#include "sky/platesolution.h"
#include "sky/skywcs.h"
#include "stars/movingsearch.h"
#include "view/imageframe.h"
#include "view/twips.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <cmath>
#include <numbers>

namespace vorlan {

namespace {

const char* const ToolTipTail[] = {"", "показать 1-ю картинку ", "показать 2-ю картинку ",
                                   "показать 3-ю картинку "};

/// The lines txtInfo shows the times in: "снимок 2: 2024-03-05 21:14:07.250 UTC".
const QRegularExpression TimeLine(QStringLiteral("^снимок [123]: .* UTC$"));

QString timeText(const QDateTime& t) {
    return t.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral(" UTC");
}

} // namespace

// ---- times

std::optional<QDateTime> frmBl::pictureTime(int k) const {
    if (const StackInSlot* stack = stackIn(k)) return stack->midTime;
    const QString& file = State().FileName(k);
    if (file.isEmpty() || Img(k)->picture().isNull()) return std::nullopt;
    const Outcome<QDateTime> t = pictureMidExposureUtc(file, ReportSettings::load().cameraClockOffsetMinutes);
    return t.ok() ? std::optional(t.value()) : std::nullopt;
}

QString frmBl::slotToolTip(int k) const {
    const QString& file = State().FileName(k);
    QString tip = file + QString::fromUtf8(ToolTipTail[k]);
    if (file.isEmpty() || Img(k)->picture().isNull()) return tip;
    if (const StackInSlot* stack = stackIn(k)) {
        if (stack->midTime) tip += QStringLiteral("\nсредний момент кадров: ") + timeText(*stack->midTime);
        return tip;
    }
    const Outcome<QDateTime> t = pictureMidExposureUtc(file, ReportSettings::load().cameraClockOffsetMinutes);
    if (t.ok())
        tip += QStringLiteral("\nсередина экспозиции: ") + timeText(t.value());
    else if (t.failure().number != NoTimeStamp) // a time stamp that is there but cannot be used
        tip += QStringLiteral("\nвремя снимка неизвестно: ") + t.reason();
    return tip;
}

void frmBl::showPictureTimes() {
    QStringList lines = txtInfo->toPlainText().split(QLatin1Char('\n'));
    lines.removeIf([](const QString& l) { return TimeLine.match(l).hasMatch(); });
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (int k = 1; k <= 3; ++k) {
        if (!State().FileName(k).isEmpty()) Lbl(k)->setToolTip(slotToolTip(k));
        if (const std::optional<QDateTime> t = pictureTime(k))
            lines << QStringLiteral("снимок %1: ").arg(k) + timeText(*t);
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (text != txtInfo->toPlainText()) txtInfo->setPlainText(text);
}

void frmBl::mnuSettings_Click() {
    auto* dialog = new frmSettings(this);
    connect(dialog, &frmSettings::saved, this, [this] {
        showPictureTimes();
        refreshKnownObjects();
    });
    dialog->open();
}

// ---- registration and the sky

std::optional<SimilarityTransform> frmBl::slotTransform(int k) const {
    if (Img1->picture().isNull() || Img(k)->picture().isNull()) return std::nullopt;
    if (k == 1) return SimilarityTransform();
    // An automatic registration holds the fit on every matched star, a mirror included.
    if (const std::optional<SimilarityTransform>& fitted = Img(k)->registration()) return fitted;
    SharedState& s = State();
    for (int slot : {1, k})
        if (!isMarked(s.Point1Text(slot)) || !isMarked(s.Point2Text(slot))) return std::nullopt;
    return transformFromPoints({s.Point1X(k), s.Point1Y(k)}, {s.Point2X(k), s.Point2Y(k)},
                               {s.Point1X1, s.Point1Y1}, {s.Point2X1, s.Point2Y1});
}

std::optional<SkyCoord> frmBl::skyAtPicture1(QPointF pixel) const {
    if (const SkyWcs* wcs = m_sky->wcsInForce()) return wcs->pictureToSky(pixel);
    if (!mnuKoordinat->isEnabled()) return std::nullopt;
    try {
        // The two-star solution takes its marks and probe in twips, so the pixel goes there and back.
        const TwipPoint at{float(toTwips(pixel.x())), float(toTwips(pixel.y()))};
        const SkyFix fix = SolveAtScale(MarkedStarsFromState(), 1.0f, at);
        const double turn = 2 * std::numbers::pi;
        return SkyCoord{fix.ra - turn * std::floor(fix.ra / turn), fix.dec};
    } catch (const VorlanError&) {
        return std::nullopt;
    }
}

// ---- the search

namespace {

/// What a search job hands back to the window.
struct SearchOutcome {
    MovingSearchResult result;
    QVector<SearchPicture> pictures; ///< with the lists found and the transforms refined
};

} // namespace

void frmBl::mnuMovers_Click() {
    QVector<int> searched{1};
    QVector<SimilarityTransform> transforms{SimilarityTransform()};
    for (int k = 2; k <= 3; ++k)
        if (const std::optional<SimilarityTransform> t = slotTransform(k)) {
            searched << k;
            transforms << *t;
        }
    if (searched.size() < 2 || searched[1] != 2) {
        Prompter::instance().message(
            this,
            QStringLiteral("Сначала совместите снимки 1 и 2: автоматически или отметив "
                           "на обоих те же две звезды (\"Точка  1\", \"Точка  2\")."),
            QMessageBox::Information);
        return;
    }
    auto outcome = std::make_shared<SearchOutcome>();
    for (int i = 0; i < searched.size(); ++i) {
        SearchPicture p;
        p.picture = Img(searched[i])->picture();
        p.toPicture1 = transforms[i];
        if (const std::optional<QDateTime> t = pictureTime(searched[i]))
            p.hours = double(t->toMSecsSinceEpoch()) / 3600000.0;
        outcome->pictures << p;
    }
    frmMovers& list = MoversWindow();
    list.setStatus(QStringLiteral("Поиск..."));
    list.show();
    list.raise();
    QPointer<frmMovers> shown(&list);
    const bool started = startJob(
        QStringLiteral("Поиск движущихся объектов"),
        [outcome, searched](JobControl& control) {
            QVector<SearchPicture>& pictures = outcome->pictures;
            for (int i = 0; i < pictures.size(); ++i) {
                control.progress(i, int(pictures.size()) + 1,
                                 QStringLiteral("Поиск: звёзды снимка %1...").arg(searched[i]));
                pictures[i].stars = detectForMovingSearch(pictures[i].picture);
                if (control.stopRequested()) return;
            }
            // Two clicked stars place a picture to a pixel or two; the stars both lists hold place
            // it to a fraction.
            for (int i = 1; i < pictures.size(); ++i)
                pictures[i].toPicture1 =
                    refineTransform(pictures[0].stars, pictures[i].stars, pictures[i].toPicture1);
            control.progress(int(pictures.size()), int(pictures.size()) + 1,
                             QStringLiteral("Поиск: сравнение..."));
            outcome->result = findMovingObjects(pictures);
        },
        [shown](const JobProgress& p) {
            if (shown) shown->setStatus(p.text);
        },
        [this, outcome, searched, shown](const JobEnd& end) {
            end.rethrowFailure();
            if (end.stopped) {
                if (shown) shown->setStatus(QStringLiteral("Поиск прерван"));
                return;
            }
            for (int i = 0; i < searched.size(); ++i) {
                const SearchPicture& p = outcome->pictures[i];
                m_session->stars[size_t(searched[i] - 1)] =
                    SlotStars{p.picture.cacheKey(), p.stars, p.toPicture1};
            }
            showMovers(outcome->result, searched);
        });
    if (!started) list.setStatus(QStringLiteral("Подождите: ещё идёт \"%1\".").arg(jobs().title()));
}

// ---- the list

void frmBl::showMovers(const MovingSearchResult& result, const QVector<int>& pictureSlots) {
    m_session->result = result;
    m_session->pictureSlots = pictureSlots;
    m_session->chosen.clear();
    m_session->deep.reset();
    m_session->deepChosen = -1;
    frmMovers& list = MoversWindow();
    list.setRows(moverRows(result, [this](QPointF p) { return skyAtPicture1(p); }), moverSummary(result));
    showKnownInMovers();
    list.show();
    list.raise();
}

void frmBl::lstMovers_Choose(int row) {
    const QVector<MoverRow>& rows = MoversWindow().rows();
    if (row < 0 || row >= rows.size()) return;
    if (m_session->deep) {
        showDeepCandidate(rows[row].candidate);
        return;
    }
    const MoverSession& m = *m_session;
    m_session->chosen = rowSightings(m.result, m.pictureSlots, rows[row]);
    m_session->picked.reset();
    centreOn(rows[row].at);
}

void frmBl::centreOn(QPointF picture1Pixel) {
    SharedState& s = State();
    const QPointF drawn = picture1Pixel * double(s.DisplayScale1);
    // With the pan bar at value v, picture 1's left edge stands at -v.
    HScroll1->setValue(int(std::lround(drawn.x() - pictureArea->width() / 2.0)));
    VScroll1->setValue(int(std::lround(drawn.y() - pictureArea->height() / 2.0)));
    s.BoxCentreX = float(Img1->Left() + drawn.x());
    s.BoxCentreY = float(Img1->Top() + drawn.y());
    if (!mnuRamka->isChecked()) mnuRamka_Click();
    placeMarkerBox();
}

// ---- the report

void frmBl::pickReportSpot(int k, float x, float y) {
    const float scale = State().DisplayScale(k);
    if (scale <= 0) return;
    m_session->picked = PickedSpot{k, toPixels(QPointF(x / scale, y / scale))};
    m_session->chosen.clear();
    m_session->deepChosen = -1;
}

void frmBl::mnuReportLine_Click() {
    const MoverSession& m = *m_session;
    if (m.picked) {
        reportPicked(*m.picked);
        return;
    }
    if (m.deep && m.deepChosen >= 0) {
        reportDeep(m.deepChosen);
        return;
    }
    if (m.chosen.isEmpty()) {
        Prompter::instance().message(
            this,
            QStringLiteral("Выберите объект в списке \"Движущиеся объекты\" или щёлкните "
                           "по нему на снимке при нажатой клавише Shift."),
            QMessageBox::Information);
        return;
    }
    reportSpots(m.chosen);
}

void frmBl::reportPicked(const PickedSpot& spot) {
    if (spot.slot != 1 && !slotTransform(spot.slot)) {
        Prompter::instance().message(
            this,
            QStringLiteral("Снимок %1 не совмещён со снимком 1: отметьте на нём те же две звезды.")
                .arg(spot.slot),
            QMessageBox::Information);
        return;
    }
    const QImage picture = Img(spot.slot)->picture();
    const std::optional<SlotStars>& known = m_session->stars[size_t(spot.slot - 1)];
    if (known && known->pictureKey == picture.cacheKey()) {
        reportPickedStar(spot, *known);
        return;
    }
    // The picture's stars are found off the window's thread first.
    auto found = std::make_shared<StarList>();
    const bool started = startJob(
        QStringLiteral("Поиск звёзд"),
        [picture, found](JobControl&) { *found = detectForMovingSearch(picture); }, {},
        [this, spot, found, key = picture.cacheKey()](const JobEnd& end) {
            end.rethrowFailure();
            if (end.stopped || Img(spot.slot)->picture().cacheKey() != key) return;
            m_session->stars[size_t(spot.slot - 1)] = SlotStars{key, *found, std::nullopt};
            reportPickedStar(spot, *m_session->stars[size_t(spot.slot - 1)]);
        });
    if (!started)
        Prompter::instance().message(this, QStringLiteral("Подождите: ещё идёт \"%1\".").arg(jobs().title()),
                                     QMessageBox::Information);
}

void frmBl::reportPickedStar(const PickedSpot& spot, const SlotStars& known) {
    // The star nearest the click, within a few pixels, at its centroid on the picture itself.
    constexpr double Reach = 8;
    const Star* nearest = nullptr;
    double best = Reach;
    for (const Star& s : known.stars.stars) {
        const double d = std::hypot(s.x - spot.pixel.x(), s.y - spot.pixel.y());
        if (d < best && !(s.flags & StarHotPixel)) {
            best = d;
            nearest = &s;
        }
    }
    if (!nearest) {
        Prompter::instance().message(this, QStringLiteral("Рядом с отмеченной точкой нет звезды."),
                                     QMessageBox::Information);
        return;
    }
    const QImage& picture = Img(spot.slot)->picture();
    const SpotMeasure m = measureSpot(picture, known.stars.inverted, nearest->position(),
                                      pictureFwhm(known.stars, picture), true);
    const QPointF centroid = m.ok ? m.centre : nearest->position();
    const SimilarityTransform toPicture1 =
        known.toPicture1.value_or(slotTransform(spot.slot).value_or(SimilarityTransform()));
    reportSpots({{spot.slot, toPicture1.map(centroid)}});
}

void frmBl::reportSpots(const QVector<std::pair<int, QPointF>>& spots,
                        const std::function<std::optional<QDateTime>(int)>& subStackTime) {
    if (!skyAtPicture1(spots.first().second)) {
        Prompter::instance().message(
            this,
            QStringLiteral("Нет привязки снимка 1 к небу: отметьте на нём две звезды "
                           "и введите их координаты."),
            QMessageBox::Information);
        return;
    }
    const ReportSettings settings = ReportSettings::load();
    QVector<Observation> observations = sightingObservations(
        spots, subStackTime ? subStackTime : [this](int slot) { return pictureTime(slot); },
        [this](QPointF p) { return skyAtPicture1(p); }, settings,
        [this, subStackTime](const Sighting& s) -> std::optional<double> {
            // Photometry measures picture 1, which no sub-stack is.
            if (s.first != 1 || subStackTime || !PhotometryFormExists()) return std::nullopt;
            return PhotometryForm().magnitudeAt(s.second);
        });
    // A known object is reported under its own designation (found at picture 1's spot).
    const QString known = knownColumnsAt(spots.first().second);
    for (Observation& o : observations) {
        o.catalogue = m_sky->catalogue();
        o.knownColumns = known;
    }
    QString noTime;
    for (const auto& [slot, at] : spots)
        if (noTime.isEmpty() && !subStackTime && !pictureTime(slot))
            noTime = pictureMidExposureUtc(State().FileName(slot), settings.cameraClockOffsetMinutes).reason();
    if (observations.isEmpty()) {
        Prompter::instance().message(this, QStringLiteral("Время снимка неизвестно: %1.").arg(noTime),
                                     QMessageBox::Information);
        return;
    }
    const QString text = reportText(observations, settings.adesContext());
    QGuiApplication::clipboard()->setText(text);
    frmAst00& notepad = Notepad();
    QString kept = notepad.text();
    if (!kept.isEmpty() && !kept.endsWith(QLatin1Char('\n'))) kept += QStringLiteral("\r\n");
    notepad.setText(kept + text);
    notepad.show();
}

} // namespace vorlan
