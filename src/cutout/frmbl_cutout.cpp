// The comparison cut-out of the main window: the regions around the Shift + clicked spot of
// pictures 1 and 2, side by side on the canvas of the cut-out window, with the caption. The
// pixels are copied by the job runner; the window shows how far it got.

#include "common/jobrunner.h"
#include "cutout/cutoutgeometry.h"
#include "cutout/cutoutrun.h"
#include "cutout/frmpiccopy.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"

#include <QLineEdit>
#include <QPointer>
#include <memory>

namespace vorlan {

namespace {

const QString Done = QStringLiteral(" Готово! ");
const QString Waiting = QStringLiteral(" Подождите, идёт копирование...");

/// What a cut-out hands from its start to its worker and from there to its end.
struct CutOutJob {
    std::vector<CutOutPart> parts;
    QImage canvas;
    Outcome<int> copied = 0;
    QStringList files;
    QString caption;
    int captionTop = 0;
};

/// The labels when `done` of the regions are copied: file 1 and the wait, then each region's
/// " Готово! " as the next file's name appears.
void showCutOutFiles(frmPicCopy& form, const CutOutJob& job, int done) {
    const int n = int(job.parts.size());
    const QString first = done == 0 ? job.files.value(0) : Done;
    const QString second = done == n ? Done : done == 0 ? Waiting : job.files.value(done);
    form.showFiles(first, second);
}

} // namespace

void frmBl::CopyAreas() {
    if (jobs().busy()) return; // a Shift + click during a run starts nothing
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
    auto job = std::make_shared<CutOutJob>();
    job->canvas = newCanvas(layout.canvas);
    if (job->canvas.isNull()) {
        prompter.message(
            form,
            QStringLiteral("Участок слишком велик: рисунок %1 x %2 пикселей не помещается в памяти.")
                .arg(layout.canvas.width())
                .arg(layout.canvas.height()),
            QMessageBox::Warning);
        return;
    }
    job->caption = cutCaption(s.CoordText, form->txtP->text());
    job->captionTop = h - 25;
    const QPointF spots[] = {{s.CutX1, s.CutY1}, {s.CutX2, s.CutY2}};
    for (int k = 1; k <= std::min<int>(2, std::max<int>(1, s.PictureCount)); ++k) {
        const QPointF spot = spots[k - 1];
        job->parts.push_back(
            {Img(k)->picture(), s.FileName(k),
             cutRegion(float(spot.x()), float(spot.y()), w, h, s.PictureWidth(k), s.PictureHeight(k)),
             k == 1 ? 0 : layout.block2X});
        job->files << s.FileName(k);
    }
    // Not narrower than the frame of controls, which a one-picture run would cut off.
    form->setOuterSize(layout.window.expandedTo(QSize(500, 0)));
    form->beginRun(job->files.value(0), Waiting);
    // Closing the window through its title bar ends the run with it.
    auto closed = std::make_shared<QMetaObject::Connection>(
        connect(form, &QObject::destroyed, &jobs(), &JobRunner::requestStop));

    startJob(
        QStringLiteral("Копирование двух участков"),
        [job, loading = pictureLoading](JobControl& control) {
            job->copied = runCutOut(job->parts, job->canvas, control, loading);
        },
        [form, job](const JobProgress& p) {
            if (form) showCutOutFiles(*form, *job, p.done);
        },
        [form, job, closed](const JobEnd& end) {
            disconnect(*closed);
            end.rethrowFailure();
            if (!form) return;
            // After a failure the labels stay at the last part reported done: the one that failed.
            if (!job->copied.ok()) {
                form->finishRun(std::move(job->canvas), false);
                Prompter::instance().message(form, job->copied.reason(), QMessageBox::Critical);
                return;
            }
            showCutOutFiles(*form, *job, job->copied.value());
            form->finishRun(std::move(job->canvas), true);
            form->printCaption(job->caption, job->captionTop);
        });
}

} // namespace vorlan
