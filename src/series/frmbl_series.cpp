// A series of frames in the main window: opened and registered once, listed in "Серия", stacked
// into the pictures 1, 2, 3 (or along a motion into picture 3), and kept for the project file.

#include "project/projectreader.h"
#include "registration/autoregistration.h"
#include "report/frmmovers.h"
#include "report/moversession.h"
#include "report/reportsettings.h"
#include "series/frmmotion.h"
#include "series/frmseries.h"
#include "series/shownseries.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"

#include <QPointer>

namespace vorlan {

namespace {

QPointer<frmSeries> s_window;

const QString RegisteringTitle = QStringLiteral("Совмещение серии");
const QString StackingTitle = QStringLiteral("Сложение серии");

QString busyReason() {
    return QStringLiteral("Идёт другая долгая работа: серия ждёт её конца.");
}

QString registrationSummary(const SeriesRegistration& r) {
    const auto good = std::count_if(r.frames.begin(), r.frames.end(),
                                    [](const SeriesFrame& f) { return f.toReference.has_value(); });
    QString text = QStringLiteral("Совмещено кадров: %1 из %2").arg(good).arg(r.frames.size());
    if (r.stopped) text = QStringLiteral("Прервано. ") + text;
    if (r.reference < 0) text += QStringLiteral(". Опорного кадра нет: складывать нечего.");
    return text;
}

/// The caption of a stack along a motion says which motion it follows.
QString motionCaption(const QString& caption, const SeriesMotion& m) {
    return caption + QStringLiteral(", по движению %1 пикс/ч, %2°")
                         .arg(m.pixelsPerHour, 0, 'f', 1)
                         .arg(m.directionDegrees, 0, 'f', 0);
}

StackOptions optionsOf(const StoredSeries& s, bool alongMotion) {
    StackOptions o;
    o.groups = alongMotion && !s.motionForAll ? 1 : s.groups;
    o.combine = s.combine;
    if (alongMotion) o.motion = s.motion;
    return o;
}

/// What the window "Серия" asks to stack now.
StoredSeries chosenSeries() {
    frmSeries& w = SeriesWindow();
    StoredSeries s;
    s.registration = w.series();
    s.groups = w.groups();
    s.combine = w.combine();
    return s;
}

} // namespace

frmSeries& SeriesWindow() {
    if (!s_window) {
        frmBl* main = &MainForm();
        s_window = new frmSeries(main);
        QObject::connect(s_window, &frmSeries::stopRequested, main, guard([main] { main->requestStop(); }));
        QObject::connect(s_window, &frmSeries::stackRequested, main,
                         guard([main] { main->cmdStack_Click(); }));
        QObject::connect(s_window, &frmSeries::motionRequested, main,
                         guard([main] { main->cmdMotion_Click(); }));
    }
    return *s_window;
}

bool SeriesWindowExists() {
    return !s_window.isNull();
}

void frmBl::mnuFileSeries_Click() {
    const QStringList paths = OpenSeriesDialog();
    if (!paths.isEmpty()) OpenSeries(paths);
}

void frmBl::OpenSeries(const QStringList& paths) {
    frmSeries& w = SeriesWindow();
    w.show();
    w.raise();
    if (jobs().busy()) {
        w.workEnded(busyReason());
        return;
    }
    w.startRegistering(paths);
    SeriesOptions options;
    options.cameraClockOffsetMinutes = ReportSettings::load().cameraClockOffsetMinutes;
    auto result = std::make_shared<SeriesRegistration>();
    startJob(
        RegisteringTitle,
        [paths, options, result](JobControl& control) { *result = registerSeries(paths, options, &control); },
        [](const JobProgress& p) {
            if (SeriesWindowExists()) SeriesWindow().showProgress(p.done, p.total, p.text);
        },
        [result](const JobEnd& end) {
            if (SeriesWindowExists()) SeriesWindow().workEnded(QString());
            end.rethrowFailure();
            if (SeriesWindowExists()) SeriesWindow().showSeries(*result, registrationSummary(*result));
        });
}

void frmBl::stackInto(const StoredSeries& series, const StackOptions& options, int firstSlot,
                      const std::function<void(const QVector<QImage>&, const QVector<StackInSlot>&)>& shown) {
    struct Made {
        std::optional<Failure> failure;
        QVector<QImage> pictures;
        QVector<StackInSlot> stacks;
    };
    auto made = std::make_shared<Made>();
    const bool started = startJob(
        StackingTitle,
        [series, options, firstSlot, made](JobControl& control) {
            const Outcome<SeriesStacks> outcome = stackSeries(series.registration, options, &control);
            if (!outcome.ok()) {
                made->failure = outcome.failure();
                return;
            }
            const SeriesStacks& stacked = outcome.value();
            if (stacked.stopped) return;
            // Stretched here, off the GUI thread; the linear stacks go when the job ends.
            for (int i = 0; i < stacked.stacks.size(); ++i) {
                const SeriesStack& stack = stacked.stacks[i];
                QString caption = stackCaption(firstSlot + i, stack);
                if (options.motion) caption = motionCaption(caption, *options.motion);
                made->pictures << stretchedFrame(stack.picture);
                made->stacks << StackInSlot{caption, stack.midTime};
            }
        },
        [](const JobProgress& p) {
            if (SeriesWindowExists()) SeriesWindow().showProgress(p.done, p.total, p.text);
        },
        [this, made, shown](const JobEnd& end) {
            if (SeriesWindowExists()) SeriesWindow().workEnded(QString());
            end.rethrowFailure();
            if (end.stopped || made->pictures.isEmpty()) {
                if (made->failure)
                    Prompter::instance().message(this, made->failure->reason, QMessageBox::Warning);
                return;
            }
            if (std::any_of(made->pictures.begin(), made->pictures.end(),
                            [](const QImage& p) { return p.isNull(); })) {
                Prompter::instance().message(this, QStringLiteral("Стопке не хватило памяти."),
                                             QMessageBox::Warning);
                return;
            }
            shown(made->pictures, made->stacks);
            if (SeriesWindowExists())
                SeriesWindow().workEnded(QStringLiteral("Сложено стопок: %1").arg(made->stacks.size()));
        });
    if (!started) Prompter::instance().message(this, busyReason(), QMessageBox::Information);
}

void frmBl::showStacks(const QVector<QImage>& pictures, const QVector<StackInSlot>& stacks, int firstSlot) {
    for (int i = 0; i < pictures.size(); ++i) {
        const int k = firstSlot + i;
        m_series->stacks[size_t(k - 1)] = stacks[i];
        prepareSlot(k);
        putPicture(k, stacks[i].caption, pictures[i], k == 1 ? m_series->series.referencePath() : QString());
    }
    // Every stack lies on the reference frame's pixels: they are registered on each other as they are.
    if (stackIn(1)) {
        QList<SlotRegistration> asTheyLie;
        for (int k = 2; k <= 3; ++k)
            if (stackIn(k)) asTheyLie.append({k, SimilarityTransform(), State().DisplayScale1});
        restoreRegistrations(asTheyLie);
    }
    ShowSlot(1);
    showPictureTimes();
}

void frmBl::cmdStack_Click() {
    const StoredSeries series = chosenSeries();
    stackInto(series, optionsOf(series, false), 1,
              [this, series](const QVector<QImage>& pictures, const QVector<StackInSlot>& stacks) {
                  m_series = std::make_unique<ShownSeries>();
                  m_series->series = series;
                  showStacks(pictures, stacks, 1);
              });
}

void frmBl::cmdMotion_Click() {
    SeriesMotion start = m_series && m_series->series.motion ? *m_series->series.motion : SeriesMotion{};
    // The object chosen in "Движущиеся объекты", when its motion is known per hour.
    if (MoversWindowExists() && MoversWindow().currentRow() >= 0) {
        const int c = MoversWindow().rows().value(MoversWindow().currentRow()).candidate;
        if (c >= 0 && c < moverSession().result.movers.size() && moverSession().result.movers[c].perHour)
            start = {moverSession().result.movers[c].speed, moverSession().result.movers[c].directionDegrees};
    }
    // The object Shift + clicked on stacks 1 and 3 since the last time: its motion between their mid-times.
    if (m_series && m_series->motionClicks[0] && m_series->motionClicks[1]) {
        const StackInSlot *first = stackIn(1), *last = stackIn(3);
        if (first && last && first->midTime && last->midTime && *first->midTime != *last->midTime)
            start = SeriesMotion::between(*m_series->motionClicks[0], *m_series->motionClicks[1],
                                          double(first->midTime->msecsTo(*last->midTime)) / 3.6e6);
        m_series->motionClicks = {};
    }
    auto* dialog = new frmMotion(&SeriesWindow(), start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &frmMotion::chosen, this, guard([this](const SeriesMotion& motion, bool all) {
                StoredSeries series = chosenSeries();
                series.motion = motion;
                series.motionForAll = all;
                const int first = all ? 1 : 3;
                stackInto(series, optionsOf(series, true), first,
                          [this, series, first](const QVector<QImage>& pictures,
                                                const QVector<StackInSlot>& stacks) {
                              // Picture 3 alone follows the motion: the other stacks stay as they were.
                              if (first == 1 || !m_series) m_series = std::make_unique<ShownSeries>();
                              m_series->series = series;
                              showStacks(pictures, stacks, first);
                          });
            }));
    dialog->open();
}

void frmBl::noteMotionClick(int k, QPointF picturePixel) {
    if (!m_series || (k != 1 && k != 3) || !stackIn(k)) return;
    m_series->motionClicks[k == 1 ? 0 : 1] = picturePixel;
}

const StackInSlot* frmBl::stackIn(int k) const {
    if (!m_series || k < 1 || k > 3) return nullptr;
    const std::optional<StackInSlot>& s = m_series->stacks[size_t(k - 1)];
    return s ? &*s : nullptr;
}

void frmBl::forgetStack(int k) {
    if (m_series) m_series->stacks[size_t(k - 1)].reset();
}

void frmBl::reopenSeries(const ProjectRecord& record, const StoredSeries& series) {
    auto given = std::make_shared<std::array<QImage, 3>>();
    auto shownStacks = std::make_shared<ShownSeries>();
    shownStacks->series = series;
    // Applied once every stack is made: the table then places them as it places pictures.
    auto apply = [this, record, given, shownStacks] {
        m_series = std::make_unique<ShownSeries>(*shownStacks);
        applyProject(record, *given);
        frmSeries& w = SeriesWindow();
        w.showSeries(m_series->series.registration, registrationSummary(m_series->series.registration));
        w.setStacking(m_series->series.groups, m_series->series.combine);
        w.show();
    };
    auto keep = [given, shownStacks](int first, const QVector<QImage>& pictures,
                                     const QVector<StackInSlot>& stacks) {
        for (int i = 0; i < pictures.size() && first + i <= 3; ++i) {
            (*given)[size_t(first + i - 1)] = pictures[i];
            shownStacks->stacks[size_t(first + i - 1)] = stacks[i];
        }
    };
    stackInto(
        series, optionsOf(series, false), 1,
        [this, series, keep, apply](const QVector<QImage>& pictures, const QVector<StackInSlot>& stacks) {
            keep(1, pictures, stacks);
            if (!series.motion) {
                apply();
                return;
            }
            const int first = series.motionForAll ? 1 : 3;
            whenJobsFree([this, series, first, keep, apply] {
                stackInto(series, optionsOf(series, true), first,
                          [first, keep, apply](const QVector<QImage>& pictures,
                                               const QVector<StackInSlot>& stacks) {
                              keep(first, pictures, stacks);
                              apply();
                          });
            });
        });
}

} // namespace vorlan
