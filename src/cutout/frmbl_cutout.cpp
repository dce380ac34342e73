// The comparison cut-out of the main window: the regions around the Shift + clicked spot of
// pictures 1 and 2, side by side on the canvas of the cut-out window, with the caption.

#include "cutout/canvasbox.h"
#include "cutout/cutoutgeometry.h"
#include "cutout/frmpiccopy.h"
#include "cutout/longrun.h"
#include "view/workpicture.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>

namespace vorlan {

namespace {

/// Prints the caption with its top-left corner at (x, top) in 12-point Times (16 pixels at the
/// 96 dpi the window was designed for).
void printCaption(CanvasBox* canvas, const QString& text, int top, const QColor& colour) {
    QFont font = canvas->font();
    font.setPixelSize(16);
    QPainter p(&canvas->image());
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QPoint(0, top + QFontMetrics(font).ascent()), text);
}

} // namespace

void frmBl::CopyAreas() {
    LongRun run;
    if (!run.started()) return;
    SharedState& s = State();
    Prompter& prompter = Prompter::instance();
    QPointer<frmPicCopy> form = &PicCopyForm();
    form->show();

    const int w = regionSize(form->txtW->text());
    const int h = regionSize(form->txtH->text());
    if (w == 0 || h == 0) {
        prompter.message(form,
                         QStringLiteral("Ширина и высота участка - целые числа пикселей от 1 до 1000000."),
                         QMessageBox::Warning);
        return;
    }
    const CutLayout layout = cutLayout(s.PictureCount, w, h);
    QImage canvas = newCanvas(layout.canvas);
    if (canvas.isNull()) {
        prompter.message(
            form,
            QStringLiteral("Участок слишком велик: рисунок %1 x %2 пикселей не помещается в памяти.")
                .arg(layout.canvas.width())
                .arg(layout.canvas.height()),
            QMessageBox::Warning);
        return;
    }
    const QString caption = cutCaption(s.CoordText, form->txtP->text());
    // The spot as clicked: a click during the run may move CutX1..CutY2 for a run it cannot start.
    const QPointF spots[] = {{s.CutX1, s.CutY1}, {s.CutX2, s.CutY2}};
    form->Pic1->hide();
    form->Pic1->setImage(canvas);
    canvas = QImage(); // the canvas alone holds the pixels, so writes never copy them
    // Not narrower than the frame of controls, which a one-picture run would cut off.
    form->setOuterSize(layout.window.expandedTo(QSize(500, 0)));
    form->lblFile1->setText(s.FileName1);
    form->lblFile2->setText(QStringLiteral(" Подождите, идёт копирование..."));

    auto afterPixel = [&s, &form] {
        if (s.StopRequested) {
            s.StopRequested = 0;
            return false;
        }
        QCoreApplication::processEvents();
        return !form.isNull();
    };
    // Copies slot k's region to the canvas at offsetX; false when the run must end.
    auto copySlot = [&](int k, int offsetX) {
        QString error;
        const QImage picture = pictureToWorkOn(Img(k)->picture(), s.FileName(k), &error);
        if (!error.isEmpty()) {
            prompter.message(
                form, QStringLiteral("Не удалось загрузить картинку\n%1\n%2").arg(s.FileName(k), error),
                QMessageBox::Critical);
            return false;
        }
        const QPointF spot = spots[k - 1];
        const CutRegion r =
            cutRegion(float(spot.x()), float(spot.y()), w, h, s.PictureWidth(k), s.PictureHeight(k));
        copyRegion(picture, form->Pic1->image(), r, offsetX, afterPixel);
        return !form.isNull();
    };

    bool complete = copySlot(1, 0);
    if (form.isNull()) return;
    if (complete) {
        form->lblFile1->setText(QStringLiteral(" Готово! "));
        if (s.PictureCount >= 2) {
            form->lblFile2->setText(s.FileName2);
            complete = copySlot(2, layout.block2X);
            if (form.isNull()) return;
        }
    }
    if (complete) {
        form->lblFile2->setText(QStringLiteral(" Готово! "));
        printCaption(form->Pic1, caption, h - 25, form->Label2->backColor());
    }
    s.StopRequested = 0;
    form->Pic1->show();
    form->Pic1->update();
}

} // namespace vorlan
