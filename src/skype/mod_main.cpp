#include "app/frm_main.h"

namespace qm {

void frmMain::wireSkype() {}
void frmMain::AddText(const std::string&) {}
void frmMain::Dial_Phone() {}

}  // namespace qm
