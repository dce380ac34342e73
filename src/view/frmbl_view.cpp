// Picture loading, per-slot and overall zoom, panning and the slot selector of the main window.

#include "blink/markeroverlay.h"
#include "common/numberforms.h"
#include "common/vbfilter.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"
#include "view/pangeometry.h"
#include "view/picturebox.h"
#include "view/picturefile.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QSettings>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

const QString PictureFolderKey = QStringLiteral("pictureFolder");
const QString FitsPatterns = QStringLiteral("*.fits;*.fit;*.fts;*.fz");

/// Every picture the program opens: what Qt's decoders read, and FITS. The dialog offers it
/// first, so that a FITS or PNG file is seen without changing the filter.
QString allPicturesFilter() {
    QStringList patterns = FitsPatterns.split(QLatin1Char(';'));
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    patterns.sort();
    patterns.removeDuplicates();
    return QStringLiteral("Все снимки|") + patterns.join(QLatin1Char(';')) + QLatin1Char('|');
}

/// The filter of the picture dialogs in Qt's form.
QString pictureDialogFilter() {
    return qtFileFilter(allPicturesFilter() + QStringLiteral("(*.jpg)|*.jpg|(*.bmp)|*.bmp|(") +
                        QString(FitsPatterns).replace(QLatin1Char(';'), QLatin1Char(' ')) + QStringLiteral(")|") +
                        FitsPatterns + QStringLiteral("|(*.*)|*.*"));
}

/// Where a picture dialog starts: where the last picture was chosen (the program's own folder,
/// the current one, holds no pictures).
QString pictureDialogFolder() {
    const QString folder = QSettings().value(PictureFolderKey).toString();
    return folder.isEmpty() || !QFileInfo(folder).isDir() ? QDir::homePath() : folder;
}

void rememberPictureFolder(const QString& chosen) {
    if (!chosen.isEmpty()) QSettings().setValue(PictureFolderKey, QFileInfo(chosen).absolutePath());
}

/// Shows the open-file dialog for a picture and leaves the chosen path (or "") in DialogFileName.
void OpenPictureDialog(QWidget* parent) {
    State().DialogFileName = Prompter::instance().openFileName(parent, QStringLiteral("Открыть файл"),
                                                               pictureDialogFilter(), pictureDialogFolder());
    rememberPictureFolder(State().DialogFileName);
}

} // namespace

QStringList frmBl::OpenSeriesDialog() {
    const QStringList chosen = Prompter::instance().openFileNames(this, QStringLiteral("Открыть серию снимков"),
                                                                  pictureDialogFilter(), pictureDialogFolder());
    if (!chosen.isEmpty()) rememberPictureFolder(chosen.first());
    return chosen;
}

void frmBl::colourSlotLabels(int k) {
    // Slots 1 and 2 colour only the first two labels; slot 3 all three.
    for (int j = 1; j <= std::max(k, 2); ++j)
        Lbl(j)->setBackColor(j == k ? colors::Yellow : colors::Green);
}

void frmBl::prepareSlot(int k) {
    SharedState& s = State();
    // Before the picture comes: show the slot alone at scale 1.
    for (int j = 1; j <= 3; ++j) {
        if (j == k)
            Img(j)->show();
        else if (j < k || (k == 1 && j == 2))
            Img(j)->hide();
    }
    s.DisplayScale(k) = 1;
    colourSlotLabels(k);
    if (k == 1) {
        s.ViewBusy = 1;
        HScr1->setValue(1000);
        s.ViewBusy = 0;
        s.CoordText.clear();
        lblInfo->clear();
    } else {
        HScr(k)->setValue(1000);
    }
}

void frmBl::LoadSlot(int k) {
    prepareSlot(k);
    OpenPictureDialog(this);
    const QString chosen = State().DialogFileName;
    DecodedPicture picture = QImage();
    if (!chosen.isEmpty()) {
        picture = decodePictureFile(chosen, pictureLoading);
        if (!picture.ok()) {
            // The slot keeps the picture, name and points it had.
            Prompter::instance().message(
                this, QStringLiteral("Не удалось загрузить картинку\n%1\n%2").arg(chosen, picture.reason()),
                QMessageBox::Critical);
            return;
        }
    }
    forgetStack(k);
    putPicture(k, chosen, picture.value(), chosen);
}

void frmBl::putPicture(int k, const QString& name, const QImage& picture, const QString& skyFile) {
    SharedState& s = State();
    s.FileName(k) = name;
    if (k == 1)
        setWindowTitle(s.FileName1);
    Lbl(k)->setToolTip(slotToolTip(k));

    if (!name.isEmpty()) {
        s.DisplayScale(k) = 1;
        // Pic1 measures the picture by sharing the decoded pixels, then lets go of them.
        Pic1->setPicture(picture);
        s.PictureWidth(k) = float(Pic1->picture().width());
        s.PictureHeight(k) = float(Pic1->picture().height());
        Pic1->clearPicture();
        Pic1->hide();

        ImageFrame* img = Img(k);
        img->resize(int(s.PictureWidth(k)), int(s.PictureHeight(k)));
        img->setDisplayScale(1);
        img->setPicture(picture);

        if (k == 1) {
            const LoadPanSetup pan = loadPanSetup(s.PictureWidth1, s.PictureHeight1, HScroll1->width(),
                                                  VScroll1->height());
            if (pan.tooBig) {
                Prompter::instance().message(this,
                                             QStringLiteral("Файл слишком большой! Программа не сможет") +
                                                 QStringLiteral(" с ним эффективно работать!"),
                                             QMessageBox::NoIcon);
                img->clearPicture();
                return;
            }
            HScroll1->setMax(pan.maxH);
            VScroll1->setMax(pan.maxV);
            HScroll1->setValue(0);
            VScroll1->setValue(0);
            HScroll1->setLargeChange(pan.largeH);
            HScroll1->setSmallChange(pan.smallH);
            VScroll1->setLargeChange(pan.largeV);
            VScroll1->setSmallChange(pan.smallV);
        } else {
            HScroll1->setValue(0);
            VScroll1->setValue(0);
        }

        s.ImageTop(k) = 0;
        s.ImageLeft(k) = 0;
        s.Point1Text(k).clear();
        s.Point2Text(k).clear();
        s.Point1X(k) = 0;
        s.Point1Y(k) = 0;
        s.DisplayScale(k) = 1;
        img->setPosition(0, 0);
        if (k == 1)
            highlightSlot(1);
        else
            colourSlotLabels(k);
        lblT1->clear();
        LblT2->clear();
        if (k == 1) picture1Changed(skyFile);
        showPictureTimes();
    }

    if (k == 1) {
        Open2File->setEnabled(true);
        if (s.PictureCount == 0) s.PictureCount = 1;
    } else if (k == 2) {
        Open3File->setEnabled(true);
        if (s.PictureCount == 1) s.PictureCount = 2;
    } else if (s.PictureCount < 3) {
        s.PictureCount = 3;
    }
}

void frmBl::RescaleSlot(int k) {
    rescaleSlot(k, float(HScr(k)->value()) / 1000.0f);
}

void frmBl::showScaleQuietly(int k, float scale) {
    const QSignalBlocker quiet(HScr(k));
    HScr(k)->setValue(int(std::lround(std::clamp(double(scale) * 1000.0, 0.0, 32767.0))));
}

void frmBl::setExactScale(int k, float scale) {
    // The bar shows the nearest thousandth; the slot gets the scale itself.
    showScaleQuietly(k, scale);
    rescaleSlot(k, scale);
}

QSizeF frmBl::shownSize(int k) const {
    const ImageFrame* img = Img(k);
    if (img->isTurned()) return img->shownPicture().size();
    return {State().PictureWidth(k), State().PictureHeight(k)};
}

void frmBl::rescaleSlot(int k, float newScale) {
    SharedState& s = State();
    if (k > 1 && s.PictureCount < k)
        return;
    highlightSlot(k);
    lblT1->setText(s.Point1Text(k));
    LblT2->setText(s.Point2Text(k));
    for (int j = 1; j <= 3; ++j)
        if (j != k)
            Img(j)->hide();
    s.ViewBusy = 1;
    ImageFrame* img = Img(k);
    img->hide();
    if (k == 1 && s.DisplayScale1 == 0)
        return; // no picture 1 yet: the pan bars stay blocked until picture 1 is loaded

    // Zoomed about point 1 where the frame shows it.
    const QPointF point1 = img->shownTwips({s.Point1X(k), s.Point1Y(k)});
    const QSizeF size = shownSize(k);
    const RescaleGeometry g = rescaleGeometry(s.DisplayScale(k), newScale, img->Left(), img->Top(),
                                              float(point1.x()), float(point1.y()), float(size.width()),
                                              float(size.height()));
    placeScaled(k, newScale, g.left, g.top);
    img->show();
    s.ViewBusy = 0;
}

void frmBl::placeScaled(int k, float scale, float left, float top) {
    SharedState& s = State();
    ImageFrame* img = Img(k);
    s.DisplayScale(k) = scale;
    // An exact scale of the automatic registration is shown to four places: the label holds no more.
    scaleLabel(k)->setText(GeneralForm(std::round(scale * 1e4f) / 1e4f));
    img->setPosition(left, top);
    s.ImageLeft(k) = left;
    s.ImageTop(k) = top;
    // Sized to what it shows.
    const QSizeF size = shownSize(k);
    img->resize(int(Int(float(size.width()) * scale)), int(Int(float(size.height()) * scale)));
    img->setDisplayScale(scale);

    if (k == 1) {
        const RescalePanSetup pan =
            rescalePanSetup(img->width(), img->height(), s.ImageLeft1, s.ImageTop1, HScroll1->width(), VScroll1->height());
        HScroll1->setMax(pan.maxH);
        VScroll1->setMax(pan.maxV);
        if (pan.setH) HScroll1->setValue(pan.valueH);
        if (pan.setV) VScroll1->setValue(pan.valueV);
        HScroll1->setLargeChange(pan.largeH);
        HScroll1->setSmallChange(pan.smallH);
        VScroll1->setLargeChange(pan.largeV);
        VScroll1->setSmallChange(pan.smallV);
    }
}

float frmBl::zoomPictures(QPointF from, QPointF to, float factor) {
    SharedState& s = State();
    QVector<int> shown;
    for (int k = 1; k <= 3; ++k)
        if (!Img(k)->picture().isNull() && s.DisplayScale(k) > 0 && (k == 1 || s.PictureCount >= k)) shown << k;
    if (shown.isEmpty()) return 1;
    // One factor for all, or the pictures would fall apart: the one scale that would leave its
    // bar's range holds them all back.
    for (int k : shown) {
        const float lowest = float(HScr(k)->Min()) / 1000.0f;
        const float highest = float(HScr(k)->Max()) / 1000.0f;
        factor = std::clamp(factor, lowest / s.DisplayScale(k), highest / s.DisplayScale(k));
    }
    const int wasBusy = s.ViewBusy;
    s.ViewBusy = 1; // the pan bars follow picture 1 without moving the frames again
    for (int k : shown) {
        const ImageFrame* img = Img(k);
        const float left = float(to.x() - (from.x() - img->Left()) * factor);
        const float top = float(to.y() - (from.y() - img->Top()) * factor);
        const float scale = s.DisplayScale(k) * factor;
        showScaleQuietly(k, scale);
        placeScaled(k, scale, left, top);
    }
    s.ViewBusy = wasBusy;
    // The marker box stays on the star it framed.
    s.BoxCentreX = float(to.x() + (s.BoxCentreX - from.x()) * factor);
    s.BoxCentreY = float(to.y() + (s.BoxCentreY - from.y()) * factor);
    placeMarkerBox();
    return factor;
}

void frmBl::mnuVesSnimok_Click() {
    const SharedState& s = State();
    if (Img1->picture().isNull() || s.DisplayScale1 <= 0) return;
    const QSizeF picture = shownSize(1);
    const float fit = float(std::min(pictureArea->width() / picture.width(), pictureArea->height() / picture.height()));
    // Picture 1's corner to the area's corner, where the pan bars at 0 put it.
    zoomPictures(QPointF(Img1->Left(), Img1->Top()), QPointF(0, 0), fit / s.DisplayScale1);
}

void frmBl::HScrOb_Change() {
    SharedState& s = State();
    if (OverallFactor == 0) OverallFactor = 1;
    if (s.ViewBusy == 1) return;
    s.OverallScale = float(HScrOb->value()) / 1000.0f;
    OverallFactor = s.OverallScale - 1 + OverallFactor;
    lblKOb->setText(GeneralForm(OverallFactor));
    for (int k = 1; k <= 3; ++k)
        HScr(k)->setValue(overallSliderValue(s.DisplayScale(k), s.OverallScale, HScr(k)->Min(), HScr(k)->Max()));
    s.ViewBusy = 1;
    HScrOb->setValue(1000);
    s.ViewBusy = 0;
}

// The blink pauses for the move, but Timer1 is not stopped and restarted for it: no tick can
// fall inside this handler anyway, and a restart would begin the interval again at every step
// of a drag, so the pictures would stand still for as long as the user drags.
void frmBl::HScroll1_Change() {
    SharedState& s = State();
    if (s.ViewBusy != 0) return;
    HScroll1->setEnabledKeepingFocus(false);
    // A whole-pixel step from where picture 1 stands: every frame keeps its fraction of a pixel,
    // so registered pictures stay registered to the fraction.
    const float d = float(-HScroll1->value() - Img1->x());
    for (int k = 1; k <= 3; ++k) {
        Img(k)->setLeft(Img(k)->Left() + d);
        s.ImageLeft(k) = Img(k)->Left();
    }
    HScroll1->setEnabledKeepingFocus(true);
    s.BoxCentreX += d;
}

void frmBl::VScroll1_Change() {
    SharedState& s = State();
    if (s.ViewBusy != 0) return;
    VScroll1->setEnabledKeepingFocus(false);
    const float d = float(-VScroll1->value() - Img1->y());
    for (int k = 1; k <= 3; ++k) {
        Img(k)->setTop(Img(k)->Top() + d);
        s.ImageTop(k) = Img(k)->Top();
    }
    s.BoxCentreY += d;
    VScroll1->setEnabledKeepingFocus(true);
}

void frmBl::ShowSlot(int k) {
    SharedState& s = State();
    highlightSlot(k);
    lblT1->setText(s.Point1Text(k));
    LblT2->setText(s.Point2Text(k));
    for (int j = 1; j <= 3; ++j)
        Img(j)->setVisible(j == k);
    // Pic1 shares the slot's decoded picture; the file is not decoded again.
    Pic1->clearPicture();
    const QString& name = s.FileName(k);
    if (!name.isEmpty()) {
        // A stack is made in memory: its caption names no file.
        if (stackIn(k) || QFileInfo::exists(name))
            Pic1->setPicture(Img(k)->picture());
        else
            Prompter::instance().message(this, QStringLiteral("Файл не найден:\n%1").arg(name),
                                         QMessageBox::Warning);
    }
    LblFile->setText(name);
}

} // namespace vorlan
