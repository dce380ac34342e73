#include "shell/panbar.h"

#include <QKeyEvent>
#include <QMouseEvent>

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

void PanBar::mousePressEvent(QMouseEvent* e) {
    m_firstRepeat = true;
    QScrollBar::mousePressEvent(e);
}

void PanBar::setEnabledKeepingFocus(bool enabled) {
    if (!enabled && window()->focusWidget() == this) {
        // Nothing can take the focus from here until the move is done: no event runs meanwhile.
        m_refocus = true;
        clearFocus();
    }
    setEnabled(enabled);
    if (enabled && repeatAction() != SliderNoAction) {
        // The first repeat waits as long as a scroll bar's does, the later ones follow quickly.
        setRepeatAction(repeatAction(), m_firstRepeat ? 500 : 50, 50);
        m_firstRepeat = false;
    }
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
