#include "shell/panbar.h"

#include <QKeyEvent>

namespace vorlan {

PanBar::PanBar(Qt::Orientation o, int min, int max, int small, int large, int value, QWidget* parent)
    : QScrollBar(o, parent), m_min(min), m_max(max) {
    setFocusPolicy(Qt::StrongFocus);
    setRange(min, max);
    setSingleStep(small);
    setPageStep(large);
    setValue(value);
}

// QScrollBar's own keys follow its invertedControls, which no setting makes agree with a desktop
// scroll bar for all keys at once (by default Right moves a horizontal bar left).
void PanBar::keyPressEvent(QKeyEvent* e) {
    const bool reversed = m_max < m_min; // the bar runs from Min down to Max
    auto towardsMax = [reversed](SliderAction up, SliderAction down) { return reversed ? down : up; };
    SliderAction action = SliderNoAction;
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        action = towardsMax(SliderSingleStepSub, SliderSingleStepAdd);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        action = towardsMax(SliderSingleStepAdd, SliderSingleStepSub);
        break;
    case Qt::Key_PageUp:
        action = towardsMax(SliderPageStepSub, SliderPageStepAdd);
        break;
    case Qt::Key_PageDown:
        action = towardsMax(SliderPageStepAdd, SliderPageStepSub);
        break;
    case Qt::Key_Home:
        action = towardsMax(SliderToMinimum, SliderToMaximum);
        break;
    case Qt::Key_End:
        action = towardsMax(SliderToMaximum, SliderToMinimum);
        break;
    default:
        QScrollBar::keyPressEvent(e);
        return;
    }
    triggerAction(action);
    e->accept();
}

void PanBar::setEnabledKeepingFocus(bool enabled) {
    if (!enabled && window()->focusWidget() == this) {
        // Nothing can take the focus from here until the move is done: no event runs meanwhile.
        m_refocus = true;
        clearFocus();
    }
    setEnabled(enabled);
    if (enabled && m_refocus) {
        m_refocus = false;
        setFocus(Qt::OtherFocusReason);
    }
}

void PanBar::setMax(int max) {
    m_max = max;
    const bool reversed = max < m_min;
    setInvertedAppearance(reversed);
    setInvertedControls(reversed);
    if (reversed)
        setRange(max, m_min);
    else
        setRange(m_min, max);
}

} // namespace vorlan
