// Rotation of picture 2 or 3 onto picture 1: the picture turned about its centre by the angle
// between the reference point directions, drawn onto the canvas of the cut-out window.

#include "cutout/canvasbox.h"
#include "cutout/cutoutgeometry.h"
#include "cutout/frmpiccopy.h"
#include "cutout/longrun.h"
#include "view/workpicture.h"
#include "registration/rotation.h"
#include "shell/frmbl.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"
#include "view/picturebox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace vorlan {

void frmBl::RotateOntoPicture1(int k) {
    LongRun run;
    if (!run.started()) return;
    SharedState& s = State();
    Prompter& prompter = Prompter::instance();
    const float angle = rotationAngle({s.Point1X1, s.Point1Y1, s.Point2X1, s.Point2Y1},
                                      {s.Point1X(k), s.Point1Y(k), s.Point2X(k), s.Point2Y(k)});
    const QString announcement = rotationAnnouncement(angle);
    QPointer<frmPicCopy> form = &PicCopyForm();
    form->setWindowTitle(announcement);

    QString error;
    const QImage picture = pictureToWorkOn(Img(k)->picture(), s.FileName(k), &error);
    const RotationGeometry g = rotationGeometry(picture.width(), picture.height(), angle);
    // The old drawing goes first, so a large picture does not need room for two canvases.
    if (!picture.isNull())
        form->Pic1->clear();
    QImage canvas = picture.isNull() ? QImage() : newCanvas(g.canvas);
    if (canvas.isNull()) {
        const QString why =
            !error.isEmpty()
                ? QStringLiteral("Не удалось загрузить картинку\n%1\n%2").arg(s.FileName(k), error)
            : picture.isNull() ? QStringLiteral("Картинка %1 не загружена.").arg(k)
                               : QStringLiteral("Повёрнутый рисунок %1 x %2 пикселей не помещается в памяти.")
                                     .arg(g.canvas.width())
                                     .arg(g.canvas.height());
        form->setWindowTitle(frmPicCopy::restingCaption());
        prompter.message(this, why, QMessageBox::Warning);
        return;
    }

    form->show();
    form->lblFile1->setText(announcement);
    // Hidden while it is written, so the events of every row never repaint it.
    form->Pic1->hide();
    form->Pic1->setImage(canvas);
    canvas = QImage(); // the canvas alone holds the pixels, so writes never copy them
    const int lastRow = picture.height();
    // The progress text is set at most every 40 ms, which no eye can tell from every row, and
    // always for the row the run ends on, so the text left behind is exact.
    QElapsedTimer sinceShown;
    for (int y = 0; y <= lastRow; ++y) {
        rotateRow(picture, form->Pic1->image(), g, y);
        if (y == lastRow || !sinceShown.isValid() || sinceShown.elapsed() >= 40) {
            form->txtP->setText(rotationProgress(float(y), float(lastRow)));
            sinceShown.start();
        }
        QCoreApplication::processEvents();
        if (form.isNull()) return;
        if (s.StopRequested) {
            s.StopRequested = 0;
            form->txtP->setText(rotationProgress(float(y), float(lastRow)));
            break;
        }
    }
    form->Pic1->hide();
    Pic1->hide();
    form->setWindowTitle(frmPicCopy::restingCaption());
}

} // namespace vorlan
