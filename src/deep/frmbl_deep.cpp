// The deep search of a series in the main window: the dialog, the search on the job runner, its
// objects in "Движущиеся объекты", each shown in the series stacked along its motion, and its
// report from three sub-stacks.

#include "deep/deeprows.h"
#include "deep/frmdeep.h"
#include "report/frmmovers.h"
#include "report/moversession.h"
#include "series/frmseries.h"
#include "series/shownseries.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/prompter.h"
#include "sky/picturesky.h"
#include "sky/skywcs.h"

#include <QPointer>
#include <QTableWidget>

namespace vorlan {

namespace {

const QString DeepTitle = QStringLiteral("Глубокий поиск");

QString deepSummary(const DeepSearchResult& r) {
    return QStringLiteral("Глубокий поиск: найдено объектов: %1 (пробных движений %2, звёзды шириной %3 пикс)")
        .arg(r.candidates.size())
        .arg(r.motions)
        .arg(r.fwhm, 0, 'f', 1);
}

} // namespace

std::optional<SeriesRegistration> frmBl::deepSearchable() const {
    if (SeriesWindowExists() && SeriesWindow().series().reference >= 0) return SeriesWindow().series();
    if (m_series && m_series->series.registration.reference >= 0) return m_series->series.registration;
    return std::nullopt;
}

bool frmBl::showsStacksOf(const SeriesRegistration& series) const {
    return stackIn(1) && series.reference >= 0 &&
           m_series->series.referencePath() == series.frames[series.reference].path;
}

void frmBl::mnuDeepSearch_Click() {
    const std::optional<SeriesRegistration> series = deepSearchable();
    if (!series) return;
    // Speeds on the sky only when the sky solution in force is on the series' own pixels.
    const SkyWcs* wcs = showsStacksOf(*series) ? m_sky->wcsInForce() : nullptr;
    auto* dialog = new frmDeep(this, *series, wcs ? wcs->arcsecPerPixel() : 0);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmDeep> shown(dialog);
    connect(dialog, &frmDeep::stopRequested, this, guard([this] { requestStop(); }));
    connect(dialog, &frmDeep::startRequested, this, guard([this, shown, series](const DeepSearchOptions& options) {
                auto outcome = std::make_shared<std::optional<Outcome<DeepSearchResult>>>();
                const bool started = startJob(
                    DeepTitle, [series, options, outcome](JobControl& c) { *outcome = deepSearch(*series, options, &c); },
                    [shown](const JobProgress& p) {
                        if (shown) shown->showProgress(p.done, p.total, p.text);
                    },
                    [this, shown, series, outcome](const JobEnd& end) {
                        end.rethrowFailure();
                        if (end.stopped || !*outcome || ((*outcome)->ok() && (*outcome)->value().stopped)) {
                            if (shown) shown->workEnded(QStringLiteral("Поиск прерван."));
                            return;
                        }
                        if (!(*outcome)->ok()) {
                            if (shown) shown->workEnded((*outcome)->reason());
                            return;
                        }
                        if (shown) shown->accept();
                        showDeepFound({*series, (*outcome)->value()});
                    });
                if (!started && shown)
                    shown->workEnded(QStringLiteral("Подождите: ещё идёт \"%1\".").arg(jobs().title()));
            }));
    dialog->open();
}

void frmBl::showDeepFound(const DeepListed& listed) {
    m_session->result = {};
    m_session->pictureSlots.clear();
    m_session->chosen.clear();
    m_session->picked.reset();
    m_session->deep = listed;
    m_session->deepChosen = -1;
    // The places are the reference frame's pixels: on the sky when the pictures are its stacks.
    const bool onPictures = showsStacksOf(listed.series);
    frmMovers& list = MoversWindow();
    list.setRows(deepMoverRows(listed.result,
                               [this, onPictures](QPointF p) {
                                   return onPictures ? skyAtPicture1(p) : std::optional<SkyCoord>();
                               }),
                 deepSummary(listed.result));
    list.show();
    list.raise();
}

void frmBl::showDeepSky() {
    if (!m_session->deep || !MoversWindowExists() || !showsStacksOf(m_session->deep->series)) return;
    // The rows stay (and the one chosen with them): only their places on the sky are filled in.
    const SkyOfPixel sky = [this](QPointF p) { return skyAtPicture1(p); };
    QTableWidget* t = MoversWindow().lstMovers;
    const QVector<MoverRow>& rows = MoversWindow().rows();
    for (int r = 0; r < rows.size() && r < t->rowCount(); ++r) {
        const QStringList cells = placeCells(r + 1, rows[r].at, sky);
        for (int column : {3, 4})
            if (QTableWidgetItem* item = t->item(r, column)) item->setText(cells.value(column));
    }
}

void frmBl::showDeepCandidate(int c) {
    if (!m_session->deep || c < 0 || c >= m_session->deep->result.candidates.size()) return;
    m_session->chosen.clear();
    m_session->picked.reset();
    m_session->deepChosen = c;
    const DeepListed& listed = *m_session->deep;
    const DeepCandidate& candidate = listed.result.candidates[c];
    StoredSeries plain;
    if (m_series) plain = m_series->series;
    plain.registration = listed.series;
    plain.motion.reset();
    plain.motionForAll = false;
    StoredSeries along = plain;
    along.motion = SeriesMotion{candidate.pixelsPerHour(), candidate.directionDegrees()};
    const QPointF at = candidate.at;
    // The whole series along the motion into picture 3: the object a point where it stood at the
    // series' mid-time, the place the search gives.
    auto alongMotion = [this, along, at] {
        stackInto(along, stackOptionsOf(along, true), 3,
                  [this, along, at](const QVector<QImage>& pictures, const QVector<StackInSlot>& stacks) {
                      if (!m_series) m_series = std::make_unique<ShownSeries>();
                      m_series->series = along;
                      showStacks(pictures, stacks, 3);
                      showDeepSky();
                      ShowSlot(3);
                      centreOn(at);
                  });
    };
    if (showsStacksOf(listed.series)) {
        alongMotion();
        return;
    }
    stackInto(plain, stackOptionsOf(plain, false), 1,
              [this, plain, alongMotion](const QVector<QImage>& pictures, const QVector<StackInSlot>& stacks) {
                  m_series = std::make_unique<ShownSeries>();
                  m_series->series = plain;
                  showStacks(pictures, stacks, 1);
                  whenJobsFree(alongMotion);
              });
}

void frmBl::reportDeep(int c) {
    const DeepListed& listed = *m_session->deep;
    if (!showsStacksOf(listed.series)) {
        Prompter::instance().message(
            this, QStringLiteral("Подождите: стопки серии ещё не показаны, а отчёт считается по ним."),
            QMessageBox::Information);
        return;
    }
    const QVector<DeepSighting> seen = deepSightings(listed.series, listed.result, listed.result.candidates[c]);
    QVector<std::pair<int, QPointF>> spots;
    for (int i = 0; i < seen.size(); ++i)
        spots.push_back({i, seen[i].at});
    if (spots.isEmpty()) return;
    reportSpots(spots, [seen](int i) { return std::optional<QDateTime>(seen.value(i).utc); });
}

} // namespace vorlan
