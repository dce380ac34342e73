#pragma once

namespace vorlan {

/// Shows the main help in the notepad (created when it does not exist), replacing its text.
void ShowMainHelp();
/// Shows the photometry help in the notepad, replacing its text.
void ShowPhotometryHelp();

} // namespace vorlan
