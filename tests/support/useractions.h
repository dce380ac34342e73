#pragma once

// What a user does with the mouse and keyboard, for the window tests: drags with a press, several
// moves and a release, focus by a click, keys through the window to the focused control.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <optional>

namespace vorlan::test {

/// Centre of a scroll bar's handle, in the bar's own coordinates; where it would stand at the
/// value `at` when one is given.
inline QPoint handleCentre(const QScrollBar* bar, std::optional<int> at = std::nullopt) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = at.value_or(bar->sliderPosition());
    opt.sliderValue = at.value_or(bar->value());
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.upsideDown = bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar).center();
}

/// Drags a scroll bar's handle by `by` pixels along the bar as a hand does: a press on the
/// handle, `steps` moves `pauseMs` apart, and the release. beforeRelease runs while the button
/// is still down.
inline void dragHandle(QScrollBar* bar, int by, int steps = 8, int pauseMs = 0,
                       const std::function<void()>& beforeRelease = {}) {
    const QPoint start = handleCentre(bar);
    const QPoint along = bar->orientation() == Qt::Horizontal ? QPoint(1, 0) : QPoint(0, 1);
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, start);
    for (int i = 1; i <= steps; ++i) {
        QTest::mouseMove(bar, start + along * (by * i / steps));
        if (pauseMs > 0) QTest::qWait(pauseMs);
    }
    if (beforeRelease) beforeRelease();
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, start + along * by);
}

/// Drags a scroll bar's handle to where value would put it.
inline void dragTo(QScrollBar* bar, int value) {
    const QPoint by = handleCentre(bar, value) - handleCentre(bar);
    dragHandle(bar, bar->orientation() == Qt::Horizontal ? by.x() : by.y());
}

/// Gives a scroll bar the focus as a user does: a click on its handle, which does not move it.
inline void clickHandle(QScrollBar* bar) {
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, handleCentre(bar));
}

/// A key as the user types it: into the window, which hands it to the control holding the focus.
inline void typeKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(window->windowHandle(), key, m);
}

/// Moves a scroll bar to value by keys, as a user who has clicked its handle: from one end a page
/// at a time, then a step at a time. From the start (Home, Page Down, Right) or, with fromEnd,
/// from the end (End, Page Up, Left): the main window's scale bars hand Right on to the pan bar.
/// True when the bar took the focus and reached value.
inline bool keysTo(QScrollBar* bar, int value, bool fromEnd = false) {
    clickHandle(bar);
    QWidget* window = bar->window();
    if (window->focusWidget() != bar) return false; // the keys would go elsewhere
    const int sign = fromEnd ? -1 : 1;
    typeKey(window, fromEnd ? Qt::Key_End : Qt::Key_Home);
    for (int presses = 0; presses < 200 && sign * (value - bar->value()) >= bar->pageStep(); ++presses)
        typeKey(window, fromEnd ? Qt::Key_PageUp : Qt::Key_PageDown);
    for (int presses = 0; presses < 200 && sign * (value - bar->value()) > 0; ++presses)
        typeKey(window, fromEnd ? Qt::Key_Left : Qt::Key_Right);
    return bar->value() == value;
}

/// A mouse move without a button over w. QTest::mouseMove only moves the cursor then, which the
/// offscreen platform does not turn into events.
inline void hover(QWidget* w, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(w->mapToGlobal(pos)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

/// Replaces a field's text by typing, as a user does: a click into it, Ctrl+A, Backspace.
inline void type(QLineEdit* field, const QString& text) {
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

/// Chooses item in menu as a user does: a click on the menu's title in the window's menu bar,
/// which opens it (and runs what opening it runs), then a click on the item. False when the menu
/// did not open or the item is not in it or not enabled there (then the menu is closed again).
[[nodiscard]] inline bool chooseMenuItem(QMainWindow* window, QMenu* menu, QAction* item) {
    QMenuBar* bar = window->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(menu->menuAction()).center());
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000)) return false;
    const QRect at = menu->actionGeometry(item);
    if (at.isEmpty() || !item->isEnabled()) {
        menu->close();
        return false;
    }
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, at.center());
    return true;
}

/// Whether menu, opened from the window's menu bar as a user opens it, offers item enabled; the
/// menu is closed again.
[[nodiscard]] inline bool menuOffers(QMainWindow* window, QMenu* menu, QAction* item) {
    QMenuBar* bar = window->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(menu->menuAction()).center());
    const bool offered = QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000) && item->isEnabled();
    QTest::keyClick(menu, Qt::Key_Escape);
    return offered;
}

/// Moves the mouse, no button held, to pos of widget w through its window, which hands the move
/// to whatever widget is under that point, as the system does for a real mouse. It arrives from
/// the pixel to the left, so a mouse that already stood at pos still moves there.
inline void moveMouse(QWidget* w, QPoint pos) {
    QWidget* window = w->window();
    const QPoint at = w->mapTo(window, pos);
    QTest::mouseMove(window->windowHandle(), at - QPoint(1, 0));
    QTest::mouseMove(window->windowHandle(), at);
}

/// Turns the mouse wheel by notches (positive: away from the user) with the mouse at pos of w, as
/// the system delivers it: to the window, which hands it to the widget under the mouse.
inline void turnWheel(QWidget* w, QPoint pos, int notches) {
    QWheelEvent wheel(w->mapTo(w->window(), QPointF(pos)), w->mapToGlobal(QPointF(pos)), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w->window()->windowHandle(), &wheel);
}

} // namespace vorlan::test
