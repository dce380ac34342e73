#include "shell/panbar.h"

namespace vorlan {

PanBar::PanBar(Qt::Orientation o, int min, int max, int small, int large, int value, QWidget* parent)
    : QScrollBar(o, parent), m_min(min), m_max(max) {
    setRange(min, max);
    setSingleStep(small);
    setPageStep(large);
    setValue(value);
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
