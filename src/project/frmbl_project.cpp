// Project files of the main window: the writer and the reader of "*.vln" files with their
// dialogs. The format itself is read and written in projectreader / projectwriter; here the
// state is gathered, the dialogs shown and a read file applied in the reader's order of steps.

#include "common/fileerror.h"
#include "common/numberforms.h"
#include "common/vbfilter.h"
#include "common/vorlanerror.h"
#include "project/projectlayout.h"
#include "project/projectreader.h"
#include "project/projectwriter.h"
#include "project/registrationline.h"
#include "project/serieslines.h"
#include "registration/autoregistration.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "sky/fieldhelpers.h"
#include "sky/frmvvodkoordinat.h"
#include "sky/picturesky.h"
#include "view/imageframe.h"
#include "view/picturebox.h"
#include "view/picturefile.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <algorithm>
#include <cerrno>
#include <functional>

namespace vorlan {

namespace {

QString projectFilter() {
    return qtFileFilter(QStringLiteral("(*.vln)|*.vln"));
}

/// A path short enough for a message box.
QString shownPath(const QString& path) {
    return path.size() <= 300 ? path : path.left(150) + QStringLiteral("…") + path.right(150);
}

/// Why a chosen project file cannot be opened.
Failure unreadableReason(const QString& path, int errorNumber) {
    const QString notAFile = notAFileReason(path);
    const int number = errorNumber == ENOENT ? ErrorNumber::FileNotFound
                       : !notAFile.isEmpty() ? ErrorNumber::PathAccess
                                             : ErrorNumber::PermissionDenied;
    return {number,
            QStringLiteral("Не удалось открыть файл %1: %2")
                .arg(shownPath(path), notAFile.isEmpty() ? fileErrorReason(errorNumber, false) : notAFile)};
}

/// Frame extent of a picture side at a scale, pixels: floor(size x scale) within what a
/// widget can have.
int frameExtent(float size, float scale) {
    return int(std::clamp(Int(double(size * scale)), 0.0, project::LargestExtent));
}

} // namespace

void frmBl::mnuFileSave_Click() {
    SharedState& s = State();
    try {
        // The positions written are the ones for pan position 0.
        HScroll1->setValue(0);
        VScroll1->setValue(0);
        // Automatic registrations follow line 34.
        QStringList registrations;
        for (int k = 2; k <= 3; ++k)
            if (const auto& r = Img(k)->registration(); r && !Img(k)->picture().isNull())
                registrations << registrationLine(k, *r);
        // Then picture 1's WCS and the source in force, then the series the pictures were stacked from.
        QStringList series;
        if (m_series && (stackIn(1) || stackIn(2) || stackIn(3))) series = seriesLines(m_series->series);
        s.ProjectText = ProjectText(s, mnuKoordinat->isEnabled(),
                                    registrations + ProjectSkyLines(pictureSky()) + series);
        SaveProjectText();
    } catch (const VorlanError& e) {
        Prompter::instance().message(this,
                                     QStringLiteral("Ошибка! - ") + e.description() + QLatin1Char(' ') +
                                         InvariantShortForm(float(e.number())),
                                     QMessageBox::Critical);
    }
}

void frmBl::SaveProjectText() {
    for (;;) {
        const QString chosen = Prompter::instance().saveFileName(
            this, QStringLiteral("Добавить в файл (или создать файл)"), projectFilter());
        if (chosen.isEmpty()) return;
        const QString path = withProjectSuffix(chosen);
        if (!agreesToReplace(this, path)) continue;
        const Outcome<void> saved = saveProjectFile(path, projectFileBytes(State().ProjectText));
        if (!saved.ok()) throw VorlanError(saved.failure().number, saved.failure().reason);
        return;
    }
}

void frmBl::OpenProjectDialog() {
    SharedState& s = State();
    s.DialogFileName =
        Prompter::instance().openFileName(this, QStringLiteral("Открыть файл"), projectFilter());
    s.ProjectFolder = projectFolderOf(s.DialogFileName);
}

namespace {

using namespace project;

/// Applies a read project file to the main window in the reader's order of steps. A failing
/// step is reported with its context and reading goes on with the next one.
class ProjectOpening {
  public:
    /// given: the pictures of slots that show a stack, made from the project's series; skyFile1:
    /// the file picture 1's header coordinates come from, when it is not picture 1's own.
    ProjectOpening(frmBl& window, const ProjectRecord& record, const std::array<QImage, 3>& given,
                   const QString& skyFile1)
        : w(window), r(record), s(State()), m_given(given), m_skyFile1(skyFile1) {}

    void run() {
        reset();
        const QString path1 = applyPictureBlock(1);
        const QString path2 = applyPictureBlock(2);
        showPicture(1, path1);
        if (!w.Img1->picture().isNull())
            w.pictureSky().header = HeaderWcs(m_skyFile1.isEmpty() ? path1 : m_skyFile1);
        showPicture(2, path2);
        attempt(step::overlay(false), [this] { w.CmdSovm_Click(); });
        attempt(step::sliders(false), [this] {
            sliderFromScale(1);
            sliderFromScale(2);
        });
        w.Img2->show();
        w.Lbl1->setBackColor(colors::Yellow);
        w.Lbl2->setBackColor(colors::Green);
        w.Pic1->hide();
        w.Img1->show();
        w.Img2->hide();
        applyStarsAndPoints();
        const QString path3 = applyPictureBlock(3);
        if (!path3.isEmpty()) {
            showPicture(3, path3);
            attempt(step::overlay(true), [this] { w.CmdSovm_Click(); });
            attempt(step::sliders(true), [this] { sliderFromScale(3); });
            w.Img3->show();
            w.Lbl3->setBackColor(colors::Green);
            for (int k = 1; k <= 3; ++k)
                w.Img(k)->show();
        }
        // The next slot to load is offered.
        if (s.PictureCount == 1) w.Open2File->setEnabled(true);
        if (s.PictureCount == 2) w.Open3File->setEnabled(true);
        readErrors(step::Extension);
        w.restoreProjectSky(r.extensionLines);
    }

    /// Shows a failure of a step: its context, the description and the error number.
    static void report(frmBl& window, int step, int number, const QString& description) {
        Prompter::instance().message(&window,
                                     projectErrorContext(step) + description + QLatin1Char(' ') +
                                         InvariantShortForm(float(number)),
                                     QMessageBox::Critical);
    }

  private:
    frmBl& w;
    const ProjectRecord& r;
    SharedState& s;
    const std::array<QImage, 3>& m_given;
    QString m_skyFile1;

    const QImage& given(int k) const { return m_given[size_t(k - 1)]; }

    /// Steps 1-3: the state a project starts from.
    void reset() {
        s.Point2X1 = s.Point2Y1 = s.Point1X1 = s.Point1Y1 = 0;
        s.StarRA2 = s.StarDec2 = s.StarRA1 = s.StarDec1 = 0;
        w.mnuKoordinat->setEnabled(false);
        w.pictureSky() = PictureSky{};
        s.PictureCount = 0;
        for (int k = 1; k <= 3; ++k)
            w.Img(k)->hide();
        w.HScroll1->setValue(0);
        w.VScroll1->setValue(0);
        w.Lbl1->setBackColor(colors::Green);
        w.Lbl2->setBackColor(colors::Green);
        // A slot that the project names no picture for starts from where it stood at start-up:
        // nothing of the picture it held before stays to be shown, blinked or saved again.
        for (int k = 1; k <= 3; ++k)
            if (r.line[size_t(nameLine(k))].text.isEmpty()) {
                s.clearSlot(k);
                w.Img(k)->clearPicture();
            }
    }

    /// The name line and the block of slot k; the path of its picture, "" when the project names
    /// none. Without a picture 2 its block is emptied; without a picture 3 its block is not read.
    QString applyPictureBlock(int k) {
        readErrors(step::name(k));
        const QString path = pictureName(k);
        if (k == 3 && path.isEmpty()) return path;
        readErrors(step::block(k));
        const int first = nameLine(k);
        assign(s.ImageTop(k), first + Top);
        assign(s.ImageLeft(k), first + Left);
        assign(s.Point1X(k), first + Point1X);
        assign(s.Point1Y(k), first + Point1Y);
        assign(s.PictureWidth(k), first + Width);
        assign(s.PictureHeight(k), first + Height);
        assign(s.DisplayScale(k), first + Scale);
        if (bothTaken(first + Point1X)) s.Point1Text(k) = numberText(first + Point1X);
        if (k == 3) {
            if (s.DisplayScale3 == 0) s.DisplayScale3 = 1;
            return path;
        }
        (k == 1 ? s.MarkScale1 : s.MarkScale2) = s.DisplayScale(k);
        if (k == 2 && path.isEmpty()) {
            s.ImageTop2 = s.ImageLeft2 = s.Point1X2 = s.Point1Y2 = s.PictureWidth2 = s.PictureHeight2 = 0;
            s.Point1Text2.clear();
            s.DisplayScale2 = 1;
        }
        return path;
    }

    /// Steps 17-24: star coordinates, points 2, the plate solution, mark scales.
    void applyStarsAndPoints() {
        readErrors(step::Stars);
        assign(s.StarRA1, line::StarRA1);
        assign(s.StarDec1, line::StarDec1);
        assign(s.StarRA2, line::StarRA2);
        assign(s.StarDec2, line::StarDec2);
        for (int k = 1; k <= 2; ++k) {
            const int xLine = point2XLine(k);
            readErrors(step::point2(k));
            if (!r.line[size_t(xLine)].taken) continue;
            if (r.point2Cleared[size_t(k - 1)]) {
                s.Point2Text(k).clear();
                s.Point2X(k) = s.Point2Y(k) = 0;
                continue;
            }
            assign(s.Point2X(k), xLine);
            assign(s.Point2Y(k), xLine + 1);
            if (bothTaken(xLine)) s.Point2Text(k) = numberText(xLine);
        }
        coordinatesFound();
        // A project with no star coordinates (saved with "Координаты" off, after an automatic
        // registration or before any stars were typed) has nothing to solve: a solution from
        // all-zero coordinates could only fail.
        if (r.hasStarCoordinates()) attempt(step::Solution, [] { VvodKoordinatForm().cmdSzet_Click(); });
        w.lblT1->setText(s.Point1Text1);
        w.LblT2->setText(s.Point2Text1);
        coordinatesFound();
        readErrors(step::MarkScales);
        assign(s.MarkScale1, line::MarkScale1);
        assign(s.MarkScale2, line::MarkScale2);
    }

    /// The picture of slot k decoded once from path, its frame sized and placed. A picture that
    /// does not load is reported after the rest of the step, which goes on without it.
    void showPicture(int k, const QString& path) {
        attempt(step::show(k), [&] {
            ImageFrame* img = w.Img(k);
            const DecodedPicture picture = !given(k).isNull() ? DecodedPicture(given(k))
                                           : path.isEmpty()   ? DecodedPicture(QImage())
                                                              : decodePictureFile(path, w.pictureLoading);
            img->setPicture(picture.valueOr(QImage()));
            if (k == 1 && !path.isEmpty()) w.Open2File->setEnabled(true);
            img->resize(frameExtent(s.PictureWidth(k), s.DisplayScale(k)),
                        frameExtent(s.PictureHeight(k), s.DisplayScale(k)));
            img->setDisplayScale(s.DisplayScale(k));
            img->setPosition(s.ImageLeft(k), s.ImageTop(k));
            if (!picture.ok())
                throw VorlanError(picture.failure().number,
                                  QStringLiteral("Не удалось загрузить картинку %1: %2")
                                      .arg(shownPath(path), picture.reason()));
        });
    }

    /// The picture named on slot k's name line, found in the project's folder or else where it
    /// was when the project was saved; "" for an empty line.
    QString pictureName(int k) {
        const QString stored = r.line[size_t(nameLine(k))].text;
        if (stored.isEmpty()) return QString();
        ++s.PictureCount;
        // A stack is named by its caption: no file holds it.
        return s.FileName(k) = !given(k).isNull() ? stored : findProjectPicture(s.ProjectFolder, stored);
    }

    void readErrors(int step) {
        for (const ProjectReadError& e : r.errorsOfStep(step))
            report(w, step, e.number, e.reason);
    }
    void attempt(int step, const std::function<void()>& body) {
        try {
            body();
        } catch (const VorlanError& e) {
            report(w, step, e.number(), e.description());
        }
    }
    void assign(float& field, int l) {
        if (r.line[size_t(l)].taken) field = r.line[size_t(l)].value;
    }
    QString numberText(int xLine) const {
        return r.line[size_t(xLine)].text + QLatin1Char(' ') + r.line[size_t(xLine + 1)].text;
    }
    bool bothTaken(int xLine) const { return r.line[size_t(xLine)].taken && r.line[size_t(xLine + 1)].taken; }
    void sliderFromScale(int k) { w.HScr(k)->setValue(RoundToInt16(double(s.DisplayScale(k) * 1000.0f))); }
    void coordinatesFound() {
        if (s.StarRA1 != 0 && s.StarRA2 != 0) w.mnuKoordinat->setEnabled(true);
    }
};

} // namespace

void frmBl::mnuFileOpen_Click() {
    SharedState& s = State();
    // The file is asked for and read before anything is cleared: a cancelled dialog, or a file
    // that cannot be opened, leaves the comparison as it was.
    OpenProjectDialog();
    if (s.DialogFileName.isEmpty()) return;
    QFile file(s.DialogFileName);
    errno = 0;
    // A FIFO is not even opened: its open() would wait for a writer.
    if (!notAFileReason(s.DialogFileName).isEmpty() || !file.open(QIODevice::ReadOnly)) {
        const Failure why = unreadableReason(s.DialogFileName, errno);
        ProjectOpening::report(*this, project::step::OpenFile, why.number, why.reason);
        return;
    }
    const ProjectRecord r = readProjectRecord(file.read(project::LargestFile));
    file.close();
    m_series.reset();
    // A series is stacked again (not registered again) before the table places its stacks.
    if (const std::optional<StoredSeries> series = readSeriesLines(r.extensionLines)) {
        reopenSeries(r, *series);
        return;
    }
    applyProject(r, {});
}

void frmBl::applyProject(const ProjectRecord& r, const std::array<QImage, 3>& given) {
    ProjectOpening(*this, r, given, m_series ? m_series->series.referencePath() : QString()).run();

    // After the table: registered pictures are shown turned and scaled as they were saved.
    QList<SlotRegistration> registered;
    for (const RegistrationLine& line : readRegistrationLines(r.extensionLines)) {
        const ProjectLine& scale = r.line[size_t(project::nameLine(line.picture) + project::Scale)];
        if (scale.taken && scale.value > 0) registered.append({line.picture, line.toPicture1, scale.value});
    }
    restoreRegistrations(registered);
    showPictureTimes();
}

void frmBl::restoreProjectSky(const QStringList& extensionLines) {
    StoredSky stored = ReadProjectSkyLines(extensionLines);
    // A WCS with a damaged line (said while reading) could put picture 1 anywhere on the sky.
    if (!DamagedProjectSkyLines(extensionLines).isEmpty()) stored.solved = SkyWcs();
    PictureSky& sky = pictureSky();
    sky.solved = stored.solved;
    // A project written before WCSs were kept: the two-star solution, when it came up, was made
    // after the picture was loaded; else the picture's own header.
    const bool twoStars = sky.source == SkySource::TwoStars;
    const SkySource wanted = stored.present ? stored.source
                             : twoStars     ? SkySource::TwoStars
                                            : SkySource::HeaderWcs;
    if (wanted != SkySource::HeaderWcs && wanted != SkySource::SolvedWcs) return;
    sky.source = wanted;
    if (sky.wcsInForce())
        putSkyInForce(wanted);
    else // the WCS it names is gone (the picture changed since): the 34 lines decide
        sky.source = twoStars ? SkySource::TwoStars : SkySource::None;
}

} // namespace vorlan
