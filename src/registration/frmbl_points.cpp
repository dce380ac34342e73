#include "shell/frmbl.h"

namespace vorlan {
void frmBl::ArmPoint(int) {}
void frmBl::Img_MouseDown(int, int, int, float, float) {}
void frmBl::cmdSbros_Click() {}
void frmBl::CmdSovm_Click() {}
void frmBl::mnuVirovnjat2t_Click() {}
} // namespace vorlan
