#include "shell/frmbl.h"

namespace vorlan {
void frmBl::LoadSlot(int) {}
void frmBl::RescaleSlot(int) {}
void frmBl::HScrOb_Change() {}
void frmBl::HScroll1_Change() {}
void frmBl::VScroll1_Change() {}
void frmBl::ShowSlot(int) {}
} // namespace vorlan
