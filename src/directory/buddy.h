#pragma once
// The buddy directory: thirty speed-dial entries on two pages of fifteen rows, each pairing a DTMF code with the
// number or Skype name it dials and the name or call sign that is announced; kept in quillmere_buddy.ini in the
// program folder. The DTMF interpreter scans the entries in directory order (page 1 rows 1-15, then page 2).
#include <array>
#include <memory>
#include <string>

#include "platform/control.h"
#include "platform/window.h"

namespace qm {

class Program;

// One row of the table, as its three boxes hold it.
struct BuddyEntry {
  const TextBox& Dtmf;
  const TextBox& PhoneOrSkypeName;
  const TextBox& NameOrCallSign;
  // Ticked: the dial rules let this entry through (the call limits still apply).
  const CheckBox& Trusted;
};

class Buddy : public Window {
 public:
  static constexpr int kRows = 15, kEntries = 30;

  explicit Buddy(Program& program);
  ~Buddy() override;
  void Form_Load();
  void SaveData();
  void closeRequest() override;  // unloads the window; the next touch loads it again from the file

  // Entry i (0-based) in directory order.
  BuddyEntry entry(int i) const;

 private:
  struct Row {
    std::unique_ptr<TextBox> dtmf, number, name;
    std::unique_ptr<CommandButton> call;
    std::unique_ptr<CheckBox> trusted;
  };
  void CallNumber(int i);

  Program& program_;
  Frame Frame1{*this, "Frame1", "Buddy Phone / Skype Names  1"};
  Frame Frame2{*this, "Frame2", "Buddy Phone / Skype Names  2"};
  Label Label1{*this, "Label1", "DTMF       Phone/Skype Name      Name / Call Sign"};
  Label Label2{*this, "Label2", "DTMF       Phone/Skype Name      Name / Call Sign"};
  Label Label3{*this, "Label3", "Send DTMF to call Buddy Phone or Skype Name"};
  // Headings of the two columns of "Call Number" buttons.
  Label Label4{*this, "Label4", "Call"};
  Label Label5{*this, "Label5", "Call"};
  std::array<Row, kEntries> rows_;
  CommandButton Command111{*this, "Command111", "Save"};
  CommandButton Command16{*this, "Command16", "Hide"};
};

}  // namespace qm
