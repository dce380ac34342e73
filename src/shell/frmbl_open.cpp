// Opening files the desktop way: named on the command line or dropped on the main window.

#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/givenfileprompter.h"
#include "shell/givenfiles.h"
#include "shell/guard.h"
#include "shell/sharedstate.h"
#include "view/imageframe.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

namespace vorlan {

namespace {

QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

} // namespace

void frmBl::OpenFiles(const QStringList& files, int firstSlot) {
    // A project replaces the whole comparison, as "Открыть файл *.vln..." does.
    for (const QString& path : files)
        if (isProjectFile(path)) {
            GivenFilePrompter answer(path);
            mnuFileOpen_Click();
            return;
        }
    // Pictures fill the slots in order; one that does not load leaves its slot to the next.
    int k = firstSlot;
    for (const QString& path : files) {
        if (k > 3) break;
        GivenFilePrompter answer(path);
        LoadSlot(k);
        if (State().FileName(k) == path && !Img(k)->picture().isNull()) ++k;
    }
}

int frmBl::dropTarget(const QPoint& pos, const QStringList& files) const {
    if (files.isEmpty()) return -1;
    for (const QString& path : files)
        if (isProjectFile(path)) return 0;
    for (const QWidget* w = childAt(pos); w; w = w->parentWidget())
        for (int k = 1; k <= 3; ++k)
            if (w == Lbl(k)) {
                // A slot opens only after the one before it, as its menu item says.
                const QAction* item = k == 1 ? Open1File : k == 2 ? Open2File : Open3File;
                return item->isEnabled() ? k : -1;
            }
    return 0;
}

void frmBl::dragEnterEvent(QDragEnterEvent* e) {
    dragMoveEvent(e);
}

void frmBl::dragMoveEvent(QDragMoveEvent* e) {
    if (dropTarget(e->position().toPoint(), droppedFiles(e->mimeData())) >= 0)
        e->acceptProposedAction();
    else
        e->ignore();
}

void frmBl::dropEvent(QDropEvent* e) {
    const QStringList files = droppedFiles(e->mimeData());
    const int target = dropTarget(e->position().toPoint(), files);
    if (target < 0) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // The drag source is answered first; messages about the files come after. Four files and more
    // dropped at once are a series of frames, not pictures to blink as they are.
    const bool series = files.size() >= SeriesFileCount &&
                        std::none_of(files.begin(), files.end(), [](const QString& p) { return isProjectFile(p); });
    QTimer::singleShot(0, this, guard([this, files, target, series] {
                           if (series)
                               OpenSeries(files);
                           else
                               OpenFiles(files, std::max(1, target));
                       }));
}

} // namespace vorlan
