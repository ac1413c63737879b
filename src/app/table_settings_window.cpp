#include "app/table_settings_window.h"

#include "app/backends.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "platform/prompter.h"

namespace qm {

TableSettingsWindow::TableSettingsWindow(Program& program, const std::string& name, const std::string& caption,
                                         const SettingsTable& table, std::string subject, mode_t newFileMode)
    : Window(program.registry(), name, caption),
      program_(program),
      table_(table),
      subject_(std::move(subject)),
      newFileMode_(newFileMode) {}

TableSettingsWindow::~TableSettingsWindow() = default;

void TableSettingsWindow::addField(const std::string& key, const std::string& caption, const std::string& frame,
                                   int row, const Columns& columns) {
  Field field{key, std::make_unique<Label>(*this, "lbl" + key, caption), std::make_unique<TextBox>(*this, "txt" + key)};
  const int rowTop = 300 + row * kRow;
  field.label->setGeometry({120, rowTop + 30, columns.labelWidth, 255});
  field.text->setGeometry({columns.boxLeft, rowTop, columns.boxWidth, 285});
  field.label->setContainer(frame);
  field.text->setContainer(frame);
  if (const SettingKey* k = table_.find(key)) {
    field.text->setToolTip(k->help);
    field.text->password = k->secret;
  }
  field.text->setBackColor(kWindowBackground);
  fields_.push_back(std::move(field));
}

TextBox* TableSettingsWindow::box(const std::string& key) {
  for (Field& f : fields_)
    if (f.key == key) return f.text.get();
  return nullptr;
}

void TableSettingsWindow::Form_Load() {
  SettingsReader in(program_, program_.backends().folders.inProgramFolder(table_.file()), "Form_Load");
  for (const SettingKey& k : table_.keys()) {
    if (loadOther(in, k)) continue;
    std::string value = in.text(k.name, k.fallback);
    if (const std::string why = table_.problem(k.name, value); !why.empty()) {
      in.reportBad(k.name, k.secret ? "(hidden)" : value, why, k.fallback);
      value = k.fallback;
    }
    if (TextBox* text = box(k.name)) text->setText(value);
  }
}

bool TableSettingsWindow::SaveData() {
  std::string problems;
  for (const Field& f : fields_) {
    if (const std::string why = table_.problem(f.key, f.text->Text()); !why.empty()) {
      const SettingKey* k = table_.find(f.key);
      const std::string shown = k && k->secret ? "The password" : f.label->Caption() + " \"" + f.text->Text() + "\"";
      problems += "\r\n" + shown + " " + why + ".";
    }
  }
  if (problems.empty()) problems = problemsAcross();
  if (!problems.empty()) {
    program_.backends().prompter.show("The " + subject_ + " settings were not saved:" + problems, "", BoxIcon::Warning,
                                      BoxButtons::Ok);
    return false;
  }
  SettingsWriter out(program_, program_.backends().folders.inProgramFolder(table_.file()), newFileMode_);
  for (const SettingKey& k : table_.keys()) {
    if (const TextBox* text = box(k.name))
      out.write(k.name, text->Text());
    else if (const auto value = savedOther(k))
      out.write(k.name, *value);
  }
  if (!out.finish()) return false;
  if (onSaved) onSaved();
  return true;
}

}  // namespace qm
