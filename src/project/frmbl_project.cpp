// Project files of the main window: the writer and the reader of "*.vln" files with their
// dialogs. The format itself is read and written in projectreader / projectwriter; here the
// state is gathered, the dialogs shown and a read file applied in the reader's order of steps.

#include "common/fileerror.h"
#include "common/numberforms.h"
#include "common/vbfilter.h"
#include "common/vorlanerror.h"
#include "project/projectreader.h"
#include "project/projectwriter.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "sky/fieldhelpers.h"
#include "sky/frmvvodkoordinat.h"
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

/// Why a chosen project file cannot be opened: error number and description.
std::pair<int, QString> unreadableReason(const QString& path, int errorNumber) {
    const QString notAFile = notAFileReason(path);
    const int number = errorNumber == ENOENT ? project::FileNotFound : !notAFile.isEmpty() ? 75 : 70;
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
        s.ProjectText = ProjectText(s, mnuKoordinat->isEnabled());
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
        const QFileInfo info(path);
        if (info.exists() && !info.isDir() &&
            Prompter::instance().question(this, QStringLiteral("Файл уже существует. Заменить?"),
                                          QMessageBox::Yes | QMessageBox::No,
                                          QMessageBox::Question) != QMessageBox::Yes)
            continue;
        const ProjectSaveResult result = saveProjectFile(path, projectFileBytes(State().ProjectText));
        if (result.number != 0) throw VorlanError(result.number, result.description);
        return;
    }
}

void frmBl::OpenProjectDialog() {
    SharedState& s = State();
    s.DialogFileName =
        Prompter::instance().openFileName(this, QStringLiteral("Открыть файл"), projectFilter());
    s.ProjectFolder = projectFolderOf(s.DialogFileName);
}

void frmBl::mnuFileOpen_Click() {
    SharedState& s = State();
    auto report = [this](int step, int number, const QString& description) {
        Prompter::instance().message(this,
                                     projectErrorContext(step) + description + QLatin1Char(' ') +
                                         InvariantShortForm(float(number)),
                                     QMessageBox::Critical);
    };

    // The file is asked for and read before anything is cleared: a cancelled dialog, or a file
    // that cannot be opened, leaves the comparison as it was.
    OpenProjectDialog();
    if (s.DialogFileName.isEmpty()) return;
    QFile file(s.DialogFileName);
    errno = 0;
    // A FIFO is not even opened: its open() would wait for a writer.
    if (!notAFileReason(s.DialogFileName).isEmpty() || !file.open(QIODevice::ReadOnly)) {
        const auto [number, description] = unreadableReason(s.DialogFileName, errno);
        report(5, number, description);
        return;
    }
    const ProjectRecord r = readProjectRecord(file.read(project::LargestFile));
    file.close();

    // Steps 1-3: the state a project starts from.
    s.Point2X1 = s.Point2Y1 = s.Point1X1 = s.Point1Y1 = 0;
    s.StarRA2 = s.StarDec2 = s.StarRA1 = s.StarDec1 = 0;
    mnuKoordinat->setEnabled(false);
    s.PictureCount = 0;
    for (int k = 1; k <= 3; ++k)
        Img(k)->hide();
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    Lbl1->setBackColor(colors::Green);
    Lbl2->setBackColor(colors::Green);

    // A slot that the project names no picture for starts from where it stood at start-up:
    // nothing of the picture it held before stays to be shown, blinked or saved again.
    for (int k = 1; k <= 3; ++k)
        if (r.line[size_t(k == 1 ? 1 : k == 2 ? 9 : 27)].text.isEmpty()) {
            s.clearSlot(k);
            Img(k)->clearPicture();
        }

    // A failing step is reported and reading goes on with the next one.
    auto readErrors = [&r, &report](int step) {
        for (const ProjectReadError& e : r.errorsOfStep(step))
            report(step, e.number, e.description);
    };
    auto attempt = [&report](int step, const std::function<void()>& body) {
        try {
            body();
        } catch (const VorlanError& e) {
            report(step, e.number(), e.description());
        }
    };
    auto assign = [&r](float& field, int line) {
        if (r.line[size_t(line)].taken) field = r.line[size_t(line)].value;
    };
    auto numberText = [&r](int xLine) {
        return r.line[size_t(xLine)].text + QLatin1Char(' ') + r.line[size_t(xLine + 1)].text;
    };
    auto bothTaken = [&r](int xLine) {
        return r.line[size_t(xLine)].taken && r.line[size_t(xLine + 1)].taken;
    };
    // The picture named on a name line, found in the project's folder; "" for an empty line.
    auto pictureName = [&](int k, int line) {
        const QString stored = r.line[size_t(line)].text;
        if (stored.isEmpty()) return QString();
        ++s.PictureCount;
        return s.FileName(k) = findProjectPicture(s.ProjectFolder, stored);
    };
    // Lines 2-8 of a picture block (nameLine + 1 .. nameLine + 7).
    auto pictureBlock = [&](int k, int nameLine) {
        readErrors(k == 3 ? 27 : k == 1 ? 7 : 9);
        assign(s.ImageTop(k), nameLine + 1);
        assign(s.ImageLeft(k), nameLine + 2);
        assign(s.Point1X(k), nameLine + 3);
        assign(s.Point1Y(k), nameLine + 4);
        assign(s.PictureWidth(k), nameLine + 5);
        assign(s.PictureHeight(k), nameLine + 6);
        assign(s.DisplayScale(k), nameLine + 7);
        if (bothTaken(nameLine + 3)) s.Point1Text(k) = numberText(nameLine + 3);
    };
    // The picture of slot k decoded once from path, its frame sized and placed. A picture that
    // does not load is reported after the rest of the step, which goes on without it.
    auto showPicture = [&](int step, int k, const QString& path) {
        attempt(step, [&] {
            ImageFrame* img = Img(k);
            const DecodedPicture picture = path.isEmpty() ? DecodedPicture() : decodePictureFile(path);
            img->setPicture(picture.error.isEmpty() ? picture.image : QImage());
            if (k == 1 && !path.isEmpty()) Open2File->setEnabled(true);
            img->resize(frameExtent(s.PictureWidth(k), s.DisplayScale(k)),
                        frameExtent(s.PictureHeight(k), s.DisplayScale(k)));
            img->setDisplayScale(s.DisplayScale(k));
            img->setPosition(s.ImageLeft(k), s.ImageTop(k));
            if (!path.isEmpty() && img->picture().isNull())
                throw VorlanError(QFileInfo::exists(path) ? project::BadPicture : project::FileNotFound,
                                  QStringLiteral("Не удалось загрузить картинку %1: %2")
                                      .arg(shownPath(path), picture.error));
        });
    };
    auto sliderFromScale = [this, &s](int k) {
        HScr(k)->setValue(RoundToInt16(double(s.DisplayScale(k) * 1000.0f)));
    };
    auto coordinatesFound = [this, &s] {
        if (s.StarRA1 != 0 && s.StarRA2 != 0) mnuKoordinat->setEnabled(true);
    };

    // Steps 5-10: pictures 1 and 2.
    readErrors(6);
    const QString path1 = pictureName(1, 1);
    pictureBlock(1, 1);
    s.MarkScale1 = s.DisplayScale1;
    readErrors(8);
    const QString path2 = pictureName(2, 9);
    pictureBlock(2, 9);
    s.MarkScale2 = s.DisplayScale2;
    if (r.line[9].text.isEmpty()) {
        s.ImageTop2 = s.ImageLeft2 = s.Point1X2 = s.Point1Y2 = s.PictureWidth2 = s.PictureHeight2 = 0;
        s.Point1Text2.clear();
        s.DisplayScale2 = 1;
    }
    // Steps 11-16: show them, overlay, scale bars, picture 1 on top.
    showPicture(11, 1, path1);
    showPicture(13, 2, path2);
    attempt(14, [this] { CmdSovm_Click(); });
    attempt(15, [&] {
        sliderFromScale(1);
        sliderFromScale(2);
    });
    Img2->show();
    Lbl1->setBackColor(colors::Yellow);
    Lbl2->setBackColor(colors::Green);
    Pic1->hide();
    Img1->show();
    Img2->hide();
    // Steps 17-24: star coordinates, points 2, the plate solution, mark scales.
    readErrors(17);
    assign(s.StarRA1, 17);
    assign(s.StarDec1, 18);
    assign(s.StarRA2, 19);
    assign(s.StarDec2, 20);
    for (int k = 1; k <= 2; ++k) {
        const int xLine = 21 + 2 * (k - 1);
        readErrors(17 + k);
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
    attempt(21, [] { VvodKoordinatForm().cmdSzet_Click(); });
    lblT1->setText(s.Point1Text1);
    LblT2->setText(s.Point2Text1);
    coordinatesFound();
    readErrors(24);
    assign(s.MarkScale1, 25);
    assign(s.MarkScale2, 26);
    // Steps 25-32: picture 3, when line 27 names one.
    readErrors(26);
    const QString path3 = pictureName(3, 27);
    if (!path3.isEmpty()) {
        pictureBlock(3, 27);
        if (s.DisplayScale3 == 0) s.DisplayScale3 = 1;
        showPicture(28, 3, path3);
        attempt(29, [this] { CmdSovm_Click(); });
        attempt(30, [&] { sliderFromScale(3); });
        Img3->show();
        Lbl3->setBackColor(colors::Green);
        for (int k = 1; k <= 3; ++k)
            Img(k)->show();
    }
    // Step 33.
    if (s.PictureCount == 1) Open2File->setEnabled(true);
    if (s.PictureCount == 2) Open3File->setEnabled(true);
    showPictureTimes();
}

} // namespace vorlan
