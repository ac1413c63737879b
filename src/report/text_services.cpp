#include "app/frm_main.h"

namespace qm {

void frmMain::wireTextServices() {}
void frmMain::SaveUserData() {}
void frmMain::EchoLink_ChatTextReceived(const std::string&) {}
void frmMain::Echolink_StationTextReceived(const std::string&) {}

}  // namespace qm
