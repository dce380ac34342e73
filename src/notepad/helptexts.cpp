#include "notepad/helptexts.h"

#include "notepad/frmast00.h"
#include "notepad/helpcontent.h"

namespace vorlan {

namespace {

void showInNotepad(const QString& text) {
    frmAst00& notepad = Notepad();
    notepad.show();
    notepad.raise();
    notepad.activateWindow();
    notepad.setText(text);
}

} // namespace

void ShowMainHelp() { showInNotepad(MainHelpText()); }

void ShowPhotometryHelp() { showInNotepad(PhotometryHelpText()); }

} // namespace vorlan
