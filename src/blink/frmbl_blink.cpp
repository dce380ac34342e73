#include "shell/frmbl.h"

namespace vorlan {
void frmBl::CmdStart_Click() {}
void frmBl::HScrTime_Change() {}
void frmBl::Timer1_Timer() {}
void frmBl::placeMarkerBox() {}
} // namespace vorlan
