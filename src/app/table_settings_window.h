#pragma once
// A settings window with a labelled text box for each key of a settings table (platform/settings_table.h): its load
// reads the file into the boxes, naming each value that cannot be used and showing the key's default instead; its
// Save checks every box against the table, names what cannot be used in one box and saves nothing then, or writes
// every key the window shows (a key it has no box for keeps its line in the file). The radio, SIP and EchoLink
// settings windows are this with their own frames and layout.
#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/settings_table.h"
#include "platform/window.h"

namespace qm {

class Program;
class SettingsReader;

class TableSettingsWindow : public Window {
 public:
  // `subject` names the settings in the refusal: "The " + subject + " settings were not saved:". `newFileMode`: the
  // mode of a file the save creates (0600 for one holding a password).
  TableSettingsWindow(Program& program, const std::string& name, const std::string& caption, const SettingsTable& table,
                      std::string subject, mode_t newFileMode);
  ~TableSettingsWindow() override;

  void Form_Load();
  // Checks every box, then writes the file; false when nothing was saved.
  bool SaveData();
  void closeRequest() override { Hide(); }

  // Run after a successful save.
  std::function<void()> onSaved;

  // The text box of a settings key ("txt" + key); null for a key shown otherwise.
  TextBox* box(const std::string& key);

  // Where a key's box goes: its label's caption, its frame and its row within the frame.
  struct Place {
    const char* key;
    const char* caption;
    const char* frame;
    int row;
  };

 protected:
  struct Columns {
    int labelWidth, boxLeft, boxWidth;
  };
  static constexpr int kRow = 330;  // twips from one row of a frame to the next
  // Adds the label ("lbl" + key) and the text box ("txt" + key) of `key` in row `row` of `frame`; the box's tool tip
  // is the key's help.
  void addField(const std::string& key, const std::string& caption, const std::string& frame, int row,
                const Columns& columns);

  // A key this window shows otherwise than in a text box: load it and return true.
  virtual bool loadOther(const SettingsReader&, const SettingKey&) { return false; }
  // ... and the value to save for it; nothing: the file keeps what it holds (a key with no box in this window).
  virtual std::optional<std::string> savedOther(const SettingKey&) { return std::nullopt; }
  // What cannot be used across boxes (each problem on a line of its own, starting "\r\n"), once each box is fine.
  virtual std::string problemsAcross() { return ""; }

  Program& program_;

 private:
  struct Field {
    std::string key;
    std::unique_ptr<Label> label;
    std::unique_ptr<TextBox> text;
  };
  const SettingsTable& table_;
  std::string subject_;
  mode_t newFileMode_;
  std::vector<Field> fields_;
};

}  // namespace qm
