#include "app/frm_main.h"

namespace qm {

void frmMain::wireTimeout() {}
void frmMain::Timer2_Timer() {}
void frmMain::Timer5_Timer() {}
void frmMain::Timer7_Timer() {}
void frmMain::Mins_Change() {}
void frmMain::TimeOutTimeSeconds_Change() {}

}  // namespace qm
