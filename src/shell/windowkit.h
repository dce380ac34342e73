#pragma once

// What every window builds itself with: controls named and placed at their design rectangles,
// the narrow font the panels' captions were laid out for, and the mouse codes its handlers take.

#include "view/twips.h"

#include <QAction>
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cmath>

namespace vorlan {

/// Pixels of a design length in twips, rounded to the nearest.
inline int twipsToPixels(double twips) {
    return int(std::lround(toPixels(twips)));
}

/// Gives a control its name (objectName, the name the user guide and the tests use).
template <typename W> W* named(W* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

/// A menu item (or a window's command) with its name.
inline QAction* menuItem(QObject* parent, const QString& name, const QString& text) {
    return named(new QAction(text, parent), name);
}

/// Names a control and places it at its design rectangle in twips.
template <typename W> W* placed(W* w, const QString& name, int left, int top, int width, int height) {
    named(w, name)->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                                twipsToPixels(height));
    return w;
}

/// Names a control and places it at a rectangle in pixels, for a window designed in pixels.
template <typename W> W* placed(W* w, const QString& name, const QRect& pixels) {
    named(w, name)->setGeometry(pixels);
    return w;
}

/// Gives a tool window its name and title. Tool windows are deleted when the user closes them and
/// made afresh when next asked for, so none keeps stale state between uses.
inline void setUpToolWindow(QWidget* w, const QString& name, const QString& title) {
    named(w, name)->setWindowTitle(title);
    w->setAttribute(Qt::WA_DeleteOnClose);
}

/// The font the captions of the control panels were laid out for: a narrow 8-point system font,
/// 11 pixels high. Wider or larger desktop defaults would cut them off at their fixed widths.
inline QFont panelFont(QFont base) {
    base.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), base.family()});
    base.setPixelSize(11);
    return base;
}

/// The mouse button a mouse handler receives (several may be held during a move).
enum MouseButton { LeftButton = 1, RightButton = 2, MiddleButton = 4 };
/// The keys held with a click, as a mask.
enum ShiftMask { NoShift = 0, ShiftKey = 1, CtrlKey = 2, AltKey = 4 };

/// The MouseButton mask of Qt mouse buttons.
inline int vbButton(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? LeftButton : 0) | (b & Qt::RightButton ? RightButton : 0) |
           (b & Qt::MiddleButton ? MiddleButton : 0);
}

/// The ShiftMask of Qt keyboard modifiers.
inline int vbShift(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? ShiftKey : 0) | (m & Qt::ControlModifier ? CtrlKey : 0) |
           (m & Qt::AltModifier ? AltKey : 0);
}

} // namespace vorlan
