#include "app/frm_main.h"

namespace qm {

void frmMain::wireSpeech() {}

}  // namespace qm
