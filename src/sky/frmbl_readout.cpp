#include "shell/frmbl.h"

namespace vorlan {
void frmBl::Img1_MouseMove(int, int, float, float) {}
void frmBl::mnuViravnivanie_vvod_koord_Click() {}
} // namespace vorlan
