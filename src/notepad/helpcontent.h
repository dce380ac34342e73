#pragma once

#include <QString>

namespace vorlan {

/// The main help: lines joined by CR LF, no line break after the last line.
QString MainHelpText();

/// The photometry help: every line followed by CR LF.
QString PhotometryHelpText();

} // namespace vorlan
