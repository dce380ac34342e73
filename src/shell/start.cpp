#include "shell/start.h"

#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/keyrouting.h"
#include "shell/panbar.h"
#include "shell/sharedstate.h"
#include "sky/platesolver.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

namespace vorlan {

void Main(const QStringList& files, bool series) {
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    // What a solve of an earlier run left behind when that run was killed.
    RemoveLeftoverSolveFolders();
    State().MarkScale1 = 1.0f;
    State().MarkScale2 = 1.0f;
    MainForm().show();
    State().MinIntensity = 60.0f;
    if (files.isEmpty()) return;
    QTimer::singleShot(0, &MainForm(), guard([files, series] {
                           if (series)
                               MainForm().OpenSeries(files);
                           else
                               MainForm().OpenFiles(files);
                       }));
}

void ScrollByArrowKey(int16_t keyCode) {
    frmBl& f = MainForm();
    f.HScroll1->setEnabledKeepingFocus(false);
    f.VScroll1->setEnabledKeepingFocus(false);
    const char which = arrowKeyBar(keyCode);
    PanBar* bar = which == 'h' ? f.HScroll1 : which == 'v' ? f.VScroll1 : nullptr;
    if (bar) {
        if (const auto v = arrowKeyValue(keyCode, bar->value(), bar->SmallChange(), bar->Max()))
            bar->setValue(*v);
    }
    f.HScroll1->setEnabledKeepingFocus(true);
    f.VScroll1->setEnabledKeepingFocus(true);
}

} // namespace vorlan
