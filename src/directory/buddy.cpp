#include "directory/buddy.h"

#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "platform/profile_file.h"

namespace qm {

namespace {

constexpr const char* kFile = "quillmere_buddy.ini";

// Box numbers of row r (1-based) on a page: rows 1-10 use 1-10, 11-20, 21-30; rows 11-15 use 31-35, 36-40, 41-45.
int dtmfBox(int r) {
  return r <= 10 ? r : r + 20;
}
int numberBox(int r) {
  return r <= 10 ? r + 10 : r + 25;
}
int nameBox(int r) {
  return r <= 10 ? r + 20 : r + 30;
}

// The "Call Number" button of each row of page 2, in row order.
constexpr int kPage2Buttons[Buddy::kRows] = {17, 25, 18, 19, 20, 21, 22, 23, 24, 26, 27, 28, 29, 30, 31};

std::string defaultFor(const std::string& key) {
  if (key == "TEXT1b") return "ABCD";
  if (key == "TEXT11b") return "echo123";
  if (key == "TEXT21b") return "Skype Test Call";
  return "";
}

// Settings keys in file order: TEXT1 ... TEXT45, then TEXT1b ... TEXT45b.
std::string keyOf(int box, bool page2) {
  return "TEXT" + std::to_string(box) + (page2 ? "b" : "");
}

// The trusted mark of row r: box Trusted<r>, key TRUSTED<r> (with "b" on page 2).
std::string trustedName(int i) {
  return std::to_string(i % Buddy::kRows + 1) + (i >= Buddy::kRows ? "b" : "");
}

}  // namespace

Buddy::Buddy(Program& program) : Window(program.registry(), "Buddy", "Buddy Phone / Skype Names"), program_(program) {
  setGeometry({0, 0, 9360, 5220});
  Frame1.setGeometry({120, 120, 4455, 4080});
  Frame2.setGeometry({4680, 120, 4455, 4080});
  // The headings end where the name column does; the call buttons have a column and a heading of their own, wide
  // enough to see and hit.
  Label1.setGeometry({120, 240, 3615, 225});
  Label1.setContainer("Frame1");
  Label2.setGeometry({120, 240, 3615, 225});
  Label2.setContainer("Frame2");
  Label4.setGeometry({3825, 240, 510, 225});
  Label4.setContainer("Frame1");
  Label5.setGeometry({3825, 240, 510, 225});
  Label5.setContainer("Frame2");
  Label3.setGeometry({120, 4260, 4455, 255});
  for (int i = 0; i < kEntries; ++i) {
    bool page2 = i >= kRows;
    int r = i % kRows + 1;
    std::string suffix = page2 ? "b" : "";
    std::string frame = page2 ? "Frame2" : "Frame1";
    Row& row = rows_[i];
    row.dtmf = std::make_unique<TextBox>(*this, "Text" + std::to_string(dtmfBox(r)) + suffix);
    row.number = std::make_unique<TextBox>(*this, "Text" + std::to_string(numberBox(r)) + suffix);
    row.name = std::make_unique<TextBox>(*this, "Text" + std::to_string(nameBox(r)) + suffix);
    int button = page2 ? kPage2Buttons[r - 1] : r;
    row.call = std::make_unique<CommandButton>(*this, "Command" + std::to_string(button), "");
    row.trusted = std::make_unique<CheckBox>(*this, "Trusted" + trustedName(i), "");
    int top = 480 + (r - 1) * 240;
    row.dtmf->setGeometry({120, top, 735, 240});
    row.number->setGeometry({840, top, 1695, 240});
    row.name->setGeometry({2520, top, 1215, 240});
    row.call->setGeometry({3780, top, 555, 240});
    row.dtmf->setToolTip("DTMF");
    row.number->setToolTip("Phone Number inc Country, Area and Phone Number.");
    row.call->setToolTip("Call Number");
    row.trusted->setGeometry({4245, top + 22, 195, 195});
    row.trusted->setToolTip("Trusted: the dial rules let this entry through");
    for (Control* c : {static_cast<Control*>(row.dtmf.get()), static_cast<Control*>(row.number.get()),
                       static_cast<Control*>(row.name.get()), static_cast<Control*>(row.call.get()),
                       static_cast<Control*>(row.trusted.get())})
      c->setContainer(frame);
    row.call->Click = [this, i] { CallNumber(i); };
  }
  Command111.setGeometry({6480, 4260, 1215, 375});
  Command16.setGeometry({7800, 4260, 1215, 375});
  Command111.Click = [this] { SaveData(); };
  Command16.Click = [this] { Hide(); };
}

Buddy::~Buddy() = default;

BuddyEntry Buddy::entry(int i) const {
  return {*rows_[i].dtmf, *rows_[i].number, *rows_[i].name, *rows_[i].trusted};
}

void Buddy::Form_Load() {
  SettingsReader in(program_, program_.backends().folders.inProgramFolder(kFile), "Form_Load");
  for (bool page2 : {false, true}) {
    for (int box = 1; box <= 45; ++box) {
      std::string key = keyOf(box, page2);
      static_cast<TextBox*>(control("Text" + std::to_string(box) + (page2 ? "b" : "")))
          ->setText(in.text(key, defaultFor(key)));
    }
  }
  for (int i = 0; i < kEntries; ++i)
    rows_[i].trusted->setValue(in.checkValue("TRUSTED" + trustedName(i), 0) == 1 ? 1 : 0);
}

void Buddy::SaveData() {
  SettingsWriter out(program_, program_.backends().folders.inProgramFolder(kFile));
  for (bool page2 : {false, true}) {
    for (int box = 1; box <= 45; ++box) {
      auto* text = static_cast<TextBox*>(control("Text" + std::to_string(box) + (page2 ? "b" : "")));
      out.write(keyOf(box, page2), text->Text());
    }
  }
  // Trusted marks are written once an entry has been marked, so a directory without any keeps its file as it was.
  ProfileFile before = ProfileFile::load(program_.backends().folders.inProgramFolder(kFile));
  for (int i = 0; i < kEntries; ++i) {
    std::string key = "TRUSTED" + trustedName(i);
    if (rows_[i].trusted->Value() == 1 || before.get("SETTINGS", key))
      out.write(key, std::to_string(rows_[i].trusted->Value()));
  }
  out.finish();
}

void Buddy::CallNumber(int i) {
  frmMain& main = program_.main();
  const std::string number = rows_[i].number->Text();
  AccessControl& access = program_.access();
  std::string where = "the \"Call Number\" button of row " + std::to_string(i % kRows + 1) + " on page " +
                      std::to_string(i / kRows + 1) + " of the buddy directory";
  if (!access.permitOperatorCall(number, rows_[i].trusted->Value() == 1, where)) return;
  main.txtSend.setText("CALL " + number);
  main.Text111.setText(number);
  main.Dial_Phone();
}

void Buddy::closeRequest() {
  program_.unloadBuddy();
}

}  // namespace qm
