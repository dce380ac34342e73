#include "shell/panbar.h"

namespace vorlan {

PanBar::PanBar(Qt::Orientation o, int min, int max, int small, int large, int value, QWidget* parent)
    : QScrollBar(o, parent), m_min(min), m_max(max) {
    setFocusPolicy(Qt::StrongFocus);
    setRange(min, max);
    setSingleStep(small);
    setPageStep(large);
    setValue(value);
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
