#include "platform/control.h"

#include <stdexcept>

#include "platform/vb_text.h"
#include "platform/window.h"

namespace qm {

Control::Control(Window& window, std::string name, ControlKind kind)
    : window_(window), name_(std::move(name)), kind_(kind) {
  window_.addControl(*this);
}

Control::~Control() {
  window_.removeControl(*this);
}

std::optional<std::string> Control::property(const std::string& name) const {
  if (name == "Enabled") return enabled_ ? "1" : "0";
  if (name == "Visible") return visible_ ? "1" : "0";
  if (name == "BackColor") return std::to_string(backColor_);
  if (name == "ForeColor") return std::to_string(foreColor_);
  if (name == "Left") return std::to_string(geometry_.left);
  if (name == "Top") return std::to_string(geometry_.top);
  if (name == "Width") return std::to_string(geometry_.width);
  if (name == "Height") return std::to_string(geometry_.height);
  if (name == "ToolTipText") return toolTip_;
  return std::nullopt;
}

bool Control::operatorEdit(const std::string&) {
  return false;
}

void Control::setEnabled(bool on) {
  change(enabled_, on);
}

void Control::setVisible(bool on) {
  change(visible_, on);
}

void Control::setBackColor(Colour c) {
  change(backColor_, c);
}

void Control::setForeColor(Colour c) {
  change(foreColor_, c);
}

void Control::setToolTip(std::string t) {
  change(toolTip_, std::move(t));
}

void Control::setContainer(std::string c) {
  change(container_, std::move(c));
}

void Control::setGeometry(Rect r) {
  change(geometry_, r);
}

TextBox::TextBox(Window& window, std::string name, std::string text)
    : Control(window, std::move(name), ControlKind::TextBox),
      text_(std::move(text)),
      characters_(characterCount(text_)) {
  setBackColor(kWindowBackground);
}

void TextBox::setText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  characters_ = characterCount(text_);
  SelStart = 0;
  changed();
  if (Change) Change();
}

void TextBox::appendText(const std::string& text) {
  if (text.empty()) return;
  text_ += text;
  characters_ += characterCount(text);
  SelStart = characters_;
  changed();
  if (Change) Change();
}

std::optional<std::string> TextBox::property(const std::string& name) const {
  if (name == "Text") return text_;
  if (name == "SelStart") return std::to_string(SelStart);
  return Control::property(name);
}

bool TextBox::operatorEdit(const std::string& text) {
  if (!digitsOnly_) {
    setText(text);
    return true;
  }
  // The digits-only style refuses every other character the operator types.
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits += c;
  setText(digits);
  return true;
}

Label::Label(Window& window, std::string name, std::string caption, ControlKind kind)
    : Control(window, std::move(name), kind), caption_(std::move(caption)) {}

void Label::setCaption(const std::string& caption) {
  change(caption_, caption);
}

std::optional<std::string> Label::property(const std::string& name) const {
  if (name == "Caption") return caption_;
  return Control::property(name);
}

CommandButton::CommandButton(Window& window, std::string name, std::string caption)
    : Control(window, std::move(name), ControlKind::Button), caption_(std::move(caption)) {}

void CommandButton::setCaption(const std::string& caption) {
  change(caption_, caption);
}

std::optional<std::string> CommandButton::property(const std::string& name) const {
  if (name == "Caption") return caption_;
  return Control::property(name);
}

void CommandButton::click() {
  if (Enabled() && Click) Click();
}

CheckBox::CheckBox(Window& window, std::string name, std::string caption, int value)
    : Control(window, std::move(name), ControlKind::CheckBox), caption_(std::move(caption)), value_(value) {}

void CheckBox::setValue(int value) {
  if (value < 0 || value > 2) throw std::out_of_range("a check box takes 0, 1 or 2, not " + std::to_string(value));
  if (value == value_) return;
  value_ = value;
  changed();
  if (Click) Click();
}

std::optional<std::string> CheckBox::property(const std::string& name) const {
  if (name == "Value") return std::to_string(value_);
  if (name == "Caption") return caption_;
  return Control::property(name);
}

bool CheckBox::operatorEdit(const std::string& text) {
  auto v = parseInteger(text);
  if (!v || *v < 0 || *v > 2) return false;
  if (Enabled()) setValue(static_cast<int>(*v));
  return true;
}

ScrollBar::ScrollBar(Window& window, std::string name, int min, int max, int value)
    : Control(window, std::move(name), ControlKind::ScrollBar), min_(min), max_(max), value_(value) {}

void ScrollBar::setValue(int value) {
  if (value < min_ || value > max_)
    throw std::out_of_range("the scroll bar " + name() + " takes " + std::to_string(min_) + " to " +
                            std::to_string(max_) + ", not " + std::to_string(value));
  if (value == value_) return;
  value_ = value;
  changed();
  if (Change) Change();
}

std::optional<std::string> ScrollBar::property(const std::string& name) const {
  if (name == "Value") return std::to_string(value_);
  if (name == "Min") return std::to_string(min_);
  if (name == "Max") return std::to_string(max_);
  return Control::property(name);
}

bool ScrollBar::operatorEdit(const std::string& text) {
  auto v = parseInteger(text);
  if (!v || *v < min_ || *v > max_) return false;
  if (Enabled()) setValue(static_cast<int>(*v));
  return true;
}

}  // namespace qm
