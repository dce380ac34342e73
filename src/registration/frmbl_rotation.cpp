// Rotation of picture 2 or 3 onto picture 1: the picture turned about its centre by the angle
// between the reference point directions, drawn onto the canvas of the cut-out window by the job
// runner while the window shows the progress.

#include "common/jobrunner.h"
#include "cutout/cutoutgeometry.h"
#include "cutout/frmpiccopy.h"
#include "registration/rotation.h"
#include "shell/frmbl.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"
#include "view/picturebox.h"
#include "view/workpicture.h"

#include <QPointer>
#include <memory>

namespace vorlan {

void frmBl::RotateOntoPicture1(int k) {
    if (jobs().busy()) return; // a second start during a run starts nothing
    SharedState& s = State();
    const float angle = rotationAngle({s.Point1X1, s.Point1Y1, s.Point2X1, s.Point2Y1},
                                      {s.Point1X(k), s.Point1Y(k), s.Point2X(k), s.Point2Y(k)});
    const QString announcement = rotationAnnouncement(angle);
    QPointer<frmPicCopy> form = &PicCopyForm();
    form->setWindowTitle(announcement);

    const DecodedPicture decoded = pictureToWorkOn(Img(k)->picture(), s.FileName(k), pictureLoading);
    const QString error = decoded.reason();
    const QImage picture = decoded.valueOr(QImage());
    const RotationGeometry g = rotationGeometry(picture.width(), picture.height(), angle);
    // The old drawing goes first, so a large picture does not need room for two canvases.
    if (!picture.isNull()) form->clearCanvas();
    auto canvas = std::make_shared<QImage>(picture.isNull() ? QImage() : newCanvas(g.canvas));
    if (canvas->isNull()) {
        const QString why =
            !error.isEmpty()
                ? QStringLiteral("Не удалось загрузить картинку\n%1\n%2").arg(s.FileName(k), error)
            : picture.isNull() ? QStringLiteral("Картинка %1 не загружена.").arg(k)
                               : QStringLiteral("Повёрнутый рисунок %1 x %2 пикселей не помещается в памяти.")
                                     .arg(g.canvas.width())
                                     .arg(g.canvas.height());
        form->setWindowTitle(frmPicCopy::restingCaption());
        Prompter::instance().message(this, why, QMessageBox::Warning);
        return;
    }

    form->beginRun(announcement, QString());
    auto closed = std::make_shared<QMetaObject::Connection>(
        connect(form, &QObject::destroyed, &jobs(), &JobRunner::requestStop));
    startJob(
        announcement,
        [picture, canvas, g](JobControl& control) { rotatePicture(picture, *canvas, g, control); },
        [form](const JobProgress& p) {
            if (form) form->showProgress(p.text);
        },
        [this, form, canvas, closed](const JobEnd& end) {
            disconnect(*closed);
            Pic1->hide();
            end.rethrowFailure();
            // Left hidden until "Прервать" shows it, as the run found it.
            if (form) form->finishRun(std::move(*canvas), false);
        });
}

} // namespace vorlan
