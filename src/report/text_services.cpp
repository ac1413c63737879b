// The main window's services on EchoLink's text channels and the network: the answer to "/ver/" in the chat, the
// last transmitting station taken from the station text, and the usage report posted once during the load.
#include <exception>
#include <stdexcept>

#include "app/frm_main.h"
#include "app/program.h"
#include "app/version.h"
#include "platform/prompter.h"
#include "platform/vb_text.h"
#include "report/http.h"
#include "report/report_target.h"

namespace qm {

namespace {
// EchoLink's station texts are a few lines; a longer one is not a station text and is not shown.
constexpr std::size_t kLongestStationText = 32767;
}  // namespace

void frmMain::wireTextServices() {
  mainEvents.ChatTextReceived = [this](const std::string& sText) { EchoLink_ChatTextReceived(sText); };
  mainEvents.StationTextReceived = [this](const std::string& sText) { Echolink_StationTextReceived(sText); };
}

void frmMain::SaveUserData() {
  Backends& b = program_.backends();
  if (!b.http) return;  // no report wanted
  std::optional<ReportTarget> target = b.reportUrl.empty() ? ReportTarget{} : parseReportUrl(b.reportUrl);
  if (!target) throw std::invalid_argument("the report URL \"" + b.reportUrl + "\" is not an http:// URL");
  http::HttpOpenPost(*b.http, b.scheduler, target->host, target->path);
  http::HttpAddFormField("Callsign", Callsign.Text());
  http::HttpAddFormField("Program", Prog.Text());
  http::HttpAddFormField("Ver", Ver.Text());
  http::HttpSendPost();  // the reply is not needed
}

void frmMain::EchoLink_ChatTextReceived(const std::string& sText) {
  if (sText.find("/ver/") == std::string::npos) return;
  try {
    EchoLink->SendChatText(std::string(kProductName) + " " + " v" + versionText());
  } catch (const std::exception&) {
    // an answer that cannot be sent is not retried
  }
}

void frmMain::Echolink_StationTextReceived(const std::string& sText) {
  if (sText.size() > kLongestStationText) {
    program_.backends().prompter.show("A station text of " + std::to_string(sText.size()) +
                                          " characters was ignored: the longest shown is " +
                                          std::to_string(kLongestStationText) + ".",
                                      "", BoxIcon::Warning, BoxButtons::Ok);
    return;
  }
  // Bare carriage returns separate the lines; after this each line ends in CR LF.
  std::string text = replaceAll(sText, "\r", "\r\n");
  if (text.find("->") == std::string::npos) {
    Text1.setText(" ");
    return;
  }
  // From after the first ">" of the whole text (which may stand on an earlier line than the "->") to the end of
  // that line, or to the end of the text when no line break follows.
  std::string shown = text.substr(text.find('>') + 1);
  shown = shown.substr(0, shown.find("\r\n"));
  Text1.setText(shown);
  try {
    setCaption(Program::titleFor(Program::localCallsign(*EchoLink)) + "  - Last TX --->  " + Text1.Text());
  } catch (const std::exception&) {
    // the caption keeps the last station it showed
  }
}

}  // namespace qm
