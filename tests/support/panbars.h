#pragma once

// What the tests read off a pan bar.

#include "shell/panbar.h"

#include <QList>

namespace vorlan::test {

/// A pan bar's range and steps as one value to compare: its Max, SmallChange and LargeChange.
inline QList<int> panSteps(const PanBar* bar) {
    return {bar->Max(), bar->SmallChange(), bar->LargeChange()};
}

} // namespace vorlan::test
