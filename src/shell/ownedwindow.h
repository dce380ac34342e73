#pragma once

// The tool windows the program keeps one of each: child windows of the main window, made when
// first asked for.

#include "shell/frmbl.h"

#include <QPointer>

namespace vorlan {

/// The window held in `form`, made as a child window of the main window when there is none: on
/// first use, and again after the user closed it and it was deleted.
template <typename Form> Form& ownedWindow(QPointer<Form>& form) {
    if (!form)
        form = new Form(&MainForm());
    return *form;
}

} // namespace vorlan
