#include "echolink_net/echolink_settings_window.h"

#include "app/program.h"
#include "echolink_net/echolink_net_settings.h"

namespace qm {
namespace {

using echolink_net::echoLinkSettingsTable;
using echolink_net::kEchoLinkSettingsFile;

// The label of each key's box.
constexpr std::pair<const char*, const char*> kCaptions[] = {
    {"Enabled", "Enabled (0 or 1)"},
    {"Password", "Password"},
    {"Location", "Location"},
    {"Servers", "Directory servers"},
    {"BindAddress", "Bind address"},
    {"PortBase", "UDP port base"},
    {"SysopName", "Sysop name"},
    {"AllowCalls", "Allowed calls"},
    {"DenyCalls", "Denied calls"},
    {"RequireDirectory", "Caller listed (0/1)"},
    {"MaxStations", "Most stations"},
    {"RefuseWhileBusy", "Refuse if busy (0/1)"},
    {"RxHang", "RX hang (ms)"},
    {"LoginRetry", "Login retry (s)"},
    {"NodeCommands", "Node DTMF (0/1)"},
    {"CodeDisconnectLast", "Disconnect last"},
    {"CodeDisconnectAll", "Disconnect all"},
    {"CodeReconnect", "Reconnect"},
    {"CodeStatus", "Status"},
    {"CodeConnectCall", "Connect callsign"},
    {"CodeConnectNode", "Connect node no."},
};

std::string captionOf(const std::string& key) {
  for (const auto& [name, caption] : kCaptions)
    if (key == name) return caption;
  return key;
}

// Which frame each key's box is in; the keys keep the file's order within a frame.
const char* frameOf(const std::string& key) {
  if (key == "AllowCalls" || key == "RxHang" || key == "DenyCalls" || key == "RequireDirectory" ||
      key == "MaxStations" || key == "RefuseWhileBusy")
    return "fraCallers";
  if (key == "NodeCommands" || key.starts_with("Code")) return "fraCommands";
  return "fraDirectory";
}

constexpr int kLabelWidth = 1900, kBoxLeft = 2080, kBoxWidth = 4520, kFrameWidth = 6840;

}  // namespace

EchoLinkSettingsWindow::EchoLinkSettingsWindow(Program& program)
    : TableSettingsWindow(program, "EchoLinkSettings", "EchoLink Settings", echoLinkSettingsTable(), "EchoLink", 0600) {
  // The file holds the directory password: a new one is the owner's alone.
  int rows[3] = {0, 0, 0};
  Frame* frames[3] = {&fraDirectory, &fraCallers, &fraCommands};
  const char* names[3] = {"fraDirectory", "fraCallers", "fraCommands"};
  for (const SettingKey& k : echoLinkSettingsTable().keys()) {
    std::string frame = frameOf(k.name);
    int f = frame == names[0] ? 0 : frame == names[1] ? 1 : 2;
    addField(k.name, captionOf(k.name), names[f], rows[f]++, {kLabelWidth, kBoxLeft, kBoxWidth});
  }
  int top = 120;
  for (int f = 0; f < 3; ++f) {
    frames[f]->setGeometry({120, top, kFrameWidth, 300 + rows[f] * kRow + 60});
    top += 300 + rows[f] * kRow + 60 + 120;
  }
  lblPorts.setGeometry({120, top, kFrameWidth, 255});
  top += 360;
  cmdSave.setGeometry({kFrameWidth + 120 - 2 * 1215 - 120, top, 1215, 375});
  cmdHide.setGeometry({kFrameWidth + 120 - 1215, top, 1215, 375});
  setGeometry({0, 0, kFrameWidth + 360, top + 375 + 600});
  cmdSave.Click = [this] { SaveData(); };
  cmdHide.Click = [this] { Hide(); };
}

void addEchoLinkSettingsWindow(Program& program, std::function<void()> onSaved) {
  program.addWindow("EchoLinkSettings", [onSaved](Program& p) -> std::unique_ptr<Window> {
    auto window = std::make_unique<EchoLinkSettingsWindow>(p);
    window->Form_Load();
    window->onSaved = onSaved;
    return window;
  });
}

}  // namespace qm
