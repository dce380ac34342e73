// Sharing what blinks: the blink cycle as an animated GIF, and the frame shown now on the
// clipboard. Both take the pixels the screen shows, through the frames' own drawing.

#include "blink/blinkshare.h"
#include "blink/gifwriter.h"
#include "blink/markeroverlay.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <memory>

namespace vorlan {

namespace {

/// Where there is nothing to share, said as the reason; empty when there is something.
QString nothingToShare(const QRect& region) {
    if (State().PictureCount == 0) return QStringLiteral("Нет снимков: сначала загрузите первый снимок.");
    if (region.isEmpty())
        return QStringLiteral("Рамка вне области снимков: щёлкните по снимку, чтобы перенести её.");
    return {};
}

} // namespace

QRect frmBl::sharedRect() const {
    // The box as the user sees it: where the last tick drew it (a click moves the centre at
    // once, the lines only at the next tick), and not at all before a tick has placed it.
    std::optional<QPointF> boxCentre;
    const QLineF top = Line4->line(0);
    if (mnuRamka->isChecked() && !top.isNull()) boxCentre = QPointF(top.center().x(), top.y1() + 100);
    return sharedRegion(pictureArea->rect(), boxCentre);
}

// What blinks is the pictures: the green box stays put in every phase and only marks where to
// look, and in the box's square its sides would be the frame's own edge.
QImage frmBl::shownPictures(const QRect& region) {
    const bool linesHidden = Line4->isHidden();
    Line4->hide();
    const QImage shown = pictureArea->grab(region).toImage().convertToFormat(QImage::Format_RGB32);
    Line4->setHidden(linesHidden);
    return shown;
}

// The phase is shown for the grab alone, by the same steps as a tick, and every widget of the
// picture area gets back what it showed: the window is not repainted in between, so nothing
// flickers.
QImage frmBl::blinkFrame(int p, const QRect& region) {
    QVector<QPair<QWidget*, bool>> hidden;
    for (QWidget* w : pictureArea->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        hidden.append({w, w->isHidden()});
    showBlinkPhase(p);
    const QImage frame = shownPictures(region);
    for (const auto& [w, wasHidden] : hidden)
        w->setHidden(wasHidden);
    return frame;
}

void frmBl::mnuFileGif_Click() {
    Prompter& prompter = Prompter::instance();
    if (jobs().busy()) {
        prompter.message(this, QStringLiteral("Сначала дождитесь конца: %1.").arg(jobs().title()),
                         QMessageBox::Information);
        return;
    }
    const QRect region = sharedRect();
    if (const QString reason = nothingToShare(region); !reason.isEmpty()) {
        prompter.message(this, reason, QMessageBox::Information);
        return;
    }
    QString path;
    do {
        const QString chosen = prompter.saveFileName(this, QStringLiteral("Записать мигание в GIF"),
                                                     QStringLiteral("Анимированный GIF (*.gif)"));
        if (chosen.isEmpty()) return;
        path = withGifSuffix(chosen);
    } while (!agreesToReplace(this, path));

    // The frames are taken from the screen at once, on this thread; choosing a colour palette
    // and encoding take up to a second, and run on the worker.
    QVector<QImage> frames;
    for (int p = 1; p <= blinkCycle().size(); ++p)
        frames.append(blinkFrame(p, region));
    // Opening this menu stopped the timer; the slider holds the interval it blinked at, and the
    // one it will blink at next.
    const int delay = gifDelayCentiseconds(HScrTime->value());
    auto written = std::make_shared<Outcome<void>>();
    startJob(
        QStringLiteral("запись GIF"),
        [path, frames, delay, written](JobControl&) { *written = writeAnimatedGif(path, frames, delay); }, {},
        [this, written](const JobEnd& end) {
            end.rethrowFailure();
            if (!end.stopped && !written->ok())
                Prompter::instance().message(this, written->reason(), QMessageBox::Critical);
        });
}

void frmBl::mnuFileCopyFrame_Click() {
    const QRect region = sharedRect();
    if (const QString reason = nothingToShare(region); !reason.isEmpty()) {
        Prompter::instance().message(this, reason, QMessageBox::Information);
        return;
    }
    QGuiApplication::clipboard()->setImage(shownPictures(region));
}

} // namespace vorlan
