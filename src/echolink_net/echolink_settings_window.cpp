#include "echolink_net/echolink_settings_window.h"

#include "app/backends.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "echolink_net/echolink_net_settings.h"
#include "platform/prompter.h"

namespace qm {
namespace {

using echolink_net::echoLinkSettingKeys;
using echolink_net::echoLinkSettingProblem;
using echolink_net::kEchoLinkSettingsFile;

// Which frame each key's box is in; the keys keep the file's order within a frame.
const char* frameOf(const std::string& key) {
  if (key == "AllowCalls" || key == "RxHang" || key == "DenyCalls" || key == "RequireDirectory" ||
      key == "MaxStations" || key == "RefuseWhileBusy")
    return "fraCallers";
  if (key == "NodeCommands" || key.starts_with("Code")) return "fraCommands";
  return "fraDirectory";
}

constexpr int kRow = 330, kLabelWidth = 1900, kBoxLeft = 2080, kBoxWidth = 4520, kFrameWidth = 6840;

}  // namespace

EchoLinkSettingsWindow::EchoLinkSettingsWindow(Program& program)
    : Window(program.registry(), "EchoLinkSettings", "EchoLink Settings"), program_(program) {
  int rows[3] = {0, 0, 0};
  Frame* frames[3] = {&fraDirectory, &fraCallers, &fraCommands};
  const char* names[3] = {"fraDirectory", "fraCallers", "fraCommands"};
  for (const auto& k : echoLinkSettingKeys()) {
    std::string frame = frameOf(k.key);
    int f = frame == names[0] ? 0 : frame == names[1] ? 1 : 2;
    Field field{k.key, std::make_unique<Label>(*this, std::string("lbl") + k.key, k.caption),
                std::make_unique<TextBox>(*this, std::string("txt") + k.key)};
    int rowTop = 300 + rows[f]++ * kRow;
    field.label->setGeometry({120, rowTop + 30, kLabelWidth, 255});
    field.text->setGeometry({kBoxLeft, rowTop, kBoxWidth, 285});
    field.label->setContainer(names[f]);
    field.text->setContainer(names[f]);
    field.text->setBackColor(kWindowBackground);
    fields_.push_back(std::move(field));
  }
  int top = 120;
  for (int f = 0; f < 3; ++f) {
    frames[f]->setGeometry({120, top, kFrameWidth, 300 + rows[f] * kRow + 60});
    top += 300 + rows[f] * kRow + 60 + 120;
  }
  box("Password")->password = true;
  box("Location")->setToolTip("shown in the directory; at most 27 characters are kept");
  box("Servers")->setToolTip("directory servers, comma-separated; empty: not listed in any directory");
  box("AllowCalls")->setToolTip("callsign patterns let in, comma-separated; * and ? are wildcards");
  box("CodeConnectNode")->setToolTip("before a node number; empty: a bare number of 3 to 7 digits");
  lblPorts.setGeometry({120, top, kFrameWidth, 255});
  top += 360;
  cmdSave.setGeometry({kFrameWidth + 120 - 2 * 1215 - 120, top, 1215, 375});
  cmdHide.setGeometry({kFrameWidth + 120 - 1215, top, 1215, 375});
  setGeometry({0, 0, kFrameWidth + 360, top + 375 + 600});
  cmdSave.Click = [this] { SaveData(); };
  cmdHide.Click = [this] { Hide(); };
}

EchoLinkSettingsWindow::~EchoLinkSettingsWindow() = default;

TextBox* EchoLinkSettingsWindow::box(const std::string& key) {
  for (Field& f : fields_)
    if (f.key == key) return f.text.get();
  return nullptr;
}

void EchoLinkSettingsWindow::Form_Load() {
  SettingsReader in(program_, program_.backends().folders.inProgramFolder(kEchoLinkSettingsFile), "Form_Load");
  for (const auto& k : echoLinkSettingKeys()) {
    std::string value = in.text(k.key, k.fallback);
    if (auto why = echoLinkSettingProblem(k.key, value); !why.empty()) {
      in.reportBad(k.key, std::string(k.key) == "Password" ? "(hidden)" : value, why, k.fallback);
      value = k.fallback;
    }
    box(k.key)->setText(value);
  }
}

bool EchoLinkSettingsWindow::SaveData() {
  std::string problems;
  for (const Field& f : fields_) {
    if (auto why = echoLinkSettingProblem(f.key, f.text->Text()); !why.empty()) {
      std::string shown = f.key == "Password" ? "The password" : f.label->Caption() + " \"" + f.text->Text() + "\"";
      problems += "\r\n" + shown + " " + why + ".";
    }
  }
  if (!problems.empty()) {
    program_.backends().prompter.show("The EchoLink settings were not saved:" + problems, "", BoxIcon::Warning,
                                      BoxButtons::Ok);
    return false;
  }
  // The file holds the directory password: a new one is the owner's alone.
  SettingsWriter out(program_, program_.backends().folders.inProgramFolder(kEchoLinkSettingsFile), 0600);
  for (const Field& f : fields_) out.write(f.key, f.text->Text());
  if (!out.finish()) return false;
  if (onSaved) onSaved();
  return true;
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
