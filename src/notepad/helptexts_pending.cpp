#include "notepad/helptexts.h"

namespace vorlan {
void ShowMainHelp() {}
void ShowPhotometryHelp() {}
} // namespace vorlan
