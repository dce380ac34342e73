// Known minor planets and comets on picture 1: the Minor Planet Center's files chosen and read,
// the objects of the field found off the GUI thread, circled on the picture, listed, and named in
// the list of moving objects and in the report line.

#include "report/designations.h"
#include "report/frmknown.h"
#include "report/frmmovers.h"
#include "report/knownsession.h"
#include "report/moversession.h"
#include "report/reportsettings.h"
#include "series/shownseries.h"
#include "shell/frmbl.h"
#include "shell/prompter.h"
#include "sky/picturesky.h"
#include "view/imageframe.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QTableWidget>

namespace vorlan {

namespace {

bool isCometFile(const QString& path) {
    return QFileInfo(path).fileName().contains(QStringLiteral("comet"), Qt::CaseInsensitive);
}

/// What the known objects of a picture 1 are found for, in one text: when it changes they are
/// found again.
QString knownKey(qint64 pictureKey, const SkyWcs* wcs, const std::optional<QDateTime>& time,
                 const ReportSettings& s) {
    return QStringLiteral("%1|%2|%3|%4|%5%6|%7,%8,%9")
        .arg(pictureKey)
        .arg(wcs ? wcs->toHeaderText() : QString())
        .arg(time ? time->toMSecsSinceEpoch() : 0)
        .arg(s.orbitFiles.join(QLatin1Char(';')), s.station)
        .arg(s.knownLimitAuto ? QStringLiteral("auto") : QString::number(s.knownMagnitudeLimit))
        .arg(s.placeTyped)
        .arg(s.longitudeDeg)
        .arg(s.latitudeDeg);
}

/// What a job hands back to the window.
struct KnownOutcome {
    std::shared_ptr<const std::vector<OrbitRecord>> orbits;
    int skipped = 0;
    std::vector<KnownObject> known;
    std::array<std::vector<KnownObject>, 2> onStacks;
    QString limitNote;
    std::optional<Failure> failure;
};

constexpr const char* KnownColumnTitle = "Известный объект";

} // namespace

void frmBl::mnuOrbitFile_Click() {
    const QString path = Prompter::instance().openFileName(
        this, QStringLiteral("Файл орбит малых планет"),
        QStringLiteral("Орбиты и обсерватории (MPCORB.DAT MPCORB.DAT.gz *.txt *.dat *.gz *.html);;Все файлы (*)"));
    if (path.isEmpty()) return;
    // One file of each kind: the minor planets', the comets' and the observatories'.
    ReportSettings s = ReportSettings::load();
    s.orbitFiles.removeIf([&](const QString& f) {
        return isObsCodesFile(f) == isObsCodesFile(path) && isCometFile(f) == isCometFile(path);
    });
    s.orbitFiles << path;
    s.save();
    m_known->orbits.reset();
    m_known->knownFor.clear();
    refreshKnownObjects();
}

void frmBl::mnuKnownObjects_Click() {
    mnuKnownObjects->setChecked(!mnuKnownObjects->isChecked());
    ReportSettings s = ReportSettings::load();
    s.showKnownObjects = mnuKnownObjects->isChecked();
    s.save();
    if (s.showKnownObjects && s.orbitFilesOnly().isEmpty()) {
        Prompter::instance().message(this,
                                     QStringLiteral("Выберите файл орбит: \"Vorlan\" - \"Файл орбит малых планет...\" "
                                                    "(MPCORB.DAT с сайта Центра малых планет)."),
                                     QMessageBox::Information);
        return;
    }
    if (s.showKnownObjects && (!m_sky->wcsInForce() || !pictureTime(1))) {
        Prompter::instance().message(
            this,
            QStringLiteral("Для известных объектов нужны координаты снимка 1 (WCS) и время его экспозиции."),
            QMessageBox::Information);
    }
    showKnownObjects();
    refreshKnownObjects();
}

void frmBl::refreshKnownObjects() {
    KnownSession& k = *m_known;
    const ReportSettings s = ReportSettings::load();
    const QStringList files = s.orbitFilesOnly();
    if (files.isEmpty() || jobs().busy()) return;
    const SkyWcs* wcs = m_sky->wcsInForce();
    const std::optional<QDateTime> time = wcs ? pictureTime(1) : std::nullopt;
    // Stacks 2 and 3 lie on picture 1's pixels: its sky with their own mid-times places the objects on them.
    std::array<std::optional<QDateTime>, 2> stackTimes;
    for (int i = 0; i < 2; ++i)
        if (stackIn(1) && stackIn(i + 2)) stackTimes[size_t(i)] = stackIn(i + 2)->midTime;
    QString key = knownKey(Img1->picture().cacheKey(), wcs, time, s);
    for (const std::optional<QDateTime>& t : stackTimes)
        key += QStringLiteral("|%1").arg(t ? t->toMSecsSinceEpoch() : 0);
    if (key == k.knownFor) return;
    k.knownFor = key;
    if (!wcs || !time) {
        k.known.clear();
        k.onStacks = {};
        showKnownObjects();
        return;
    }
    auto outcome = std::make_shared<KnownOutcome>();
    outcome->orbits = k.orbitsFrom == files ? k.orbits : nullptr;
    KnownObjectOptions options;
    options.magnitudeLimit = s.knownMagnitudeLimit;
    const bool automatic = s.knownLimitAuto;
    const bool started = startJob(
        QStringLiteral("Известные объекты"),
        [outcome, files, picture = *wcs, when = *time, where = s.observatory(), options, automatic,
         image = Img1->picture(), stackTimes](JobControl& c) mutable {
            if (!outcome->orbits) {
                auto all = std::make_shared<std::vector<OrbitRecord>>();
                for (const QString& f : files) {
                    Outcome<OrbitCatalogue> read = loadOrbitFile(f, &c);
                    if (!read.ok()) {
                        outcome->failure = read.failure();
                        return;
                    }
                    if (read.value().stopped) return;
                    all->insert(all->end(), read.value().orbits.begin(), read.value().orbits.end());
                    outcome->skipped += read.value().skipped;
                }
                outcome->orbits = all;
            }
            if (automatic) {
                c.progress(0, 1, QStringLiteral("предел блеска по звёздам снимка"));
                const MagnitudeLimit limit = magnitudeLimitOf(image, picture);
                options.magnitudeLimit = limit.limit;
                outcome->limitNote = limit.note;
            } else {
                outcome->limitNote = QStringLiteral("предел V %1 задан в настройках")
                                         .arg(QString::number(options.magnitudeLimit, 'f', 1));
            }
            c.progress(0, 1, QStringLiteral("положения известных объектов"));
            outcome->known = knownObjectsInPicture(*outcome->orbits, picture, when, where, options, &c);
            for (size_t i = 0; i < stackTimes.size(); ++i)
                if (stackTimes[i])
                    outcome->onStacks[i] =
                        knownObjectsInPicture(*outcome->orbits, picture, *stackTimes[i], where, options, &c);
        },
        [this](const JobProgress& p) {
            if (mnuKnownObjects->isChecked()) KnownWindow().setProgress(p.text, p.done, p.total);
        },
        [this, outcome, files](const JobEnd& end) {
            end.rethrowFailure();
            KnownSession& k = *m_known;
            if (end.stopped || outcome->failure) {
                k.knownFor.clear();
                if (KnownWindowExists()) KnownWindow().setStatus(QStringLiteral("Прервано"));
                if (outcome->failure) Prompter::instance().message(this, outcome->failure->reason, QMessageBox::Warning);
                return;
            }
            k.orbits = outcome->orbits;
            k.orbitsFrom = files;
            k.skipped = outcome->skipped;
            k.known = outcome->known;
            k.onStacks = outcome->onStacks;
            k.limitNote = outcome->limitNote;
            showKnownObjects();
        });
    if (!started) k.knownFor.clear();
}

void frmBl::showKnownObjects() {
    KnownSession& k = *m_known;
    const bool shown = mnuKnownObjects->isChecked();
    if (!k.overlay) k.overlay = new KnownOverlay(Img1);
    k.overlay->setObjects(shown ? k.known : std::vector<KnownObject>{});
    for (int i = 0; i < 2; ++i) {
        if (!k.stackOverlays[size_t(i)]) k.stackOverlays[size_t(i)] = new KnownOverlay(Img(i + 2));
        k.stackOverlays[size_t(i)]->setObjects(shown ? k.onStacks[size_t(i)] : std::vector<KnownObject>{});
    }
    if (shown) {
        std::vector<SkyCoord> candidates;
        for (const MovingCandidate& c : m_session->result.movers)
            if (const std::optional<SkyCoord> sky = skyAtPicture1(c.at[0])) candidates.push_back(*sky);
        frmKnown& list = KnownWindow();
        list.setObjects(k.known, candidates);
        if (!k.limitNote.isEmpty()) list.setStatus(list.lblStatus->text() + QStringLiteral("; ") + k.limitNote);
        if (k.skipped > 0)
            list.setStatus(list.lblStatus->text() +
                           QStringLiteral("; повреждённых строк в файлах орбит: %1").arg(k.skipped));
        list.show();
    } else if (KnownWindowExists()) {
        KnownWindow().close();
    }
    showKnownInMovers();
}

QString frmBl::knownColumnsAt(QPointF picture1Pixel) const {
    const std::optional<SkyCoord> sky = skyAtPicture1(picture1Pixel);
    if (!sky) return {};
    const int i = matchKnownObject(m_known->known, *sky, std::nullopt);
    return i < 0 ? QString() : reportDesignationColumns(m_known->known[std::size_t(i)].packed);
}

void frmBl::showKnownInMovers() {
    if (!MoversWindowExists()) return;
    frmMovers& list = MoversWindow();
    QTableWidget* t = list.lstMovers;
    int column = -1;
    for (int c = 0; c < t->columnCount(); ++c)
        if (t->horizontalHeaderItem(c) && t->horizontalHeaderItem(c)->text() == QString::fromUtf8(KnownColumnTitle))
            column = c;
    if (column < 0) return;
    const SkyWcs* wcs = m_sky->wcsInForce();
    const QVector<MoverRow>& rows = list.rows();
    for (int r = 0; r < rows.size() && r < t->rowCount(); ++r) {
        QString name;
        if (const int c = rows[r].candidate; c >= 0 && c < m_session->result.movers.size()) {
            const MovingCandidate& candidate = m_session->result.movers[c];
            if (const std::optional<SkyCoord> sky = skyAtPicture1(candidate.at[0])) {
                const auto motion = wcs ? candidateSkyMotion(candidate, *wcs) : std::nullopt;
                if (const int i = matchKnownObject(m_known->known, *sky, motion); i >= 0)
                    name = m_known->known[std::size_t(i)].designation;
            }
        }
        if (!t->item(r, column)) t->setItem(r, column, new QTableWidgetItem);
        t->item(r, column)->setText(name);
    }
}

} // namespace vorlan
