// The data panel: the log of the Skype traffic, capped at its last 10000 characters.
#include "app/frm_main.h"
#include "app/program.h"
#include "history/history_log.h"
#include "platform/vb_text.h"
#include "skype/call_control.h"

namespace qm {

namespace {
constexpr std::size_t kPanelCharacters = 10000;
}

void frmMain::AddText(const std::string& Data) {
  program().trap("AddText", [&] {
    std::string text;
    if (txtData.Text().empty()) {
      text = Data;  // the first line of an empty panel is shown only
    } else {
      text = txtData.Text() + "\r\n" + Data;
      trackCall(*this, Data);  // a failure here leaves the line out of the panel
    }
    text = lastCharacters(text, kPanelCharacters);
    txtData.setText(text);
    txtData.setSelStart(characterCount(text));  // the newest line in view
    program().historyLog().callTraffic(Data);
  });
}

}  // namespace qm
