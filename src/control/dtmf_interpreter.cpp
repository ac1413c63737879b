#include "app/frm_main.h"

namespace qm {

void frmMain::wireDtmf() {}
void frmMain::EchoLink_DTMFString(const std::string&) {}
void frmMain::Check1_Click() {}
void frmMain::Timer3_Timer() {}

}  // namespace qm
