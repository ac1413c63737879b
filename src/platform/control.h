#pragma once
// Controls of the windows: small value objects that behave as a desktop's controls do. A change or click
// behaviour runs whenever the value changes, whoever changes it; setting the value it already has runs nothing.
// Every control registers itself with its window under its name, so the GUI and the scenario language find it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class Window;

// Colours as the window system numbers them: 0x00BBGGRR, or a system colour with the top bit set.
using Colour = std::int64_t;
constexpr Colour kButtonFace = 0x8000000F;  // system colour of button faces
constexpr Colour kWindowText = 0x80000008;  // system colour of window text
constexpr Colour kWindowBackground = 0x80000005;
constexpr Colour kInfoBackground = 0x80000018;
constexpr Colour rgb(int r, int g, int b) {
  return r | (g << 8) | (b << 16);
}

enum class ControlKind { TextBox, Label, CheckBox, Button, ScrollBar, Frame, Timer };

// Geometry in twips (15 to a pixel at 96 dpi), relative to the container.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

class Control {
 public:
  Control(Window& window, std::string name, ControlKind kind);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  ControlKind kind() const { return kind_; }
  Window& window() const { return window_; }

  // The property that a bare "WINDOW.NAME" reads: Text, Caption or Value by kind.
  virtual std::string value() const = 0;
  // A named property as text, or nothing when the control has no such property.
  virtual std::optional<std::string> property(const std::string& name) const;
  // The operator edits the control (types into a text box, ticks a check box, moves a scroll bar). Returns false when
  // this kind of control cannot be edited.
  virtual bool operatorEdit(const std::string& text);

  bool Enabled() const { return enabled_; }
  virtual void setEnabled(bool on);
  bool Visible() const { return visible_; }
  void setVisible(bool on);
  Colour BackColor() const { return backColor_; }
  void setBackColor(Colour c);
  Colour ForeColor() const { return foreColor_; }
  void setForeColor(Colour c);
  const Rect& geometry() const { return geometry_; }
  void setGeometry(Rect r);
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(std::string t);
  // The frame this control sits in (for the GUI's layout); empty on the window itself.
  const std::string& container() const { return container_; }
  void setContainer(std::string c);

  // A view (the GUI) is told after every change of anything it shows.
  using Observer = std::function<void(const Control&)>;
  void setObserver(Observer o) { observer_ = std::move(o); }

 protected:
  void changed() const {
    if (observer_) observer_(*this);
  }
  // Sets `field` to `value` and tells the view, when that changes anything.
  template <typename T>
  void change(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    changed();
  }

 private:
  Window& window_;
  std::string name_;
  ControlKind kind_;
  bool enabled_ = true;
  bool visible_ = true;
  Colour backColor_ = kButtonFace;
  Colour foreColor_ = kWindowText;
  Rect geometry_;
  std::string toolTip_;
  std::string container_;
  Observer observer_;
};

// A text box. `Change` runs on every change of the text.
class TextBox : public Control {
 public:
  TextBox(Window& window, std::string name, std::string text = "");
  const std::string& Text() const { return text_; }
  void setText(const std::string& text);
  // Adds `text` at the end in place (constant time for each appended character, however long the text already is)
  // and puts the caret at the new end; runs Change like any other change of the text.
  void appendText(const std::string& text);
  std::string value() const override { return text_; }
  std::optional<std::string> property(const std::string& name) const override;
  bool operatorEdit(const std::string& text) override;

  // The digits-only edit style: the operator cannot type anything but digits (code can still set any text).
  bool digitsOnly() const { return digitsOnly_; }
  void setDigitsOnly(bool on) {
    if (on == digitsOnly_) return;
    digitsOnly_ = on;
    changed();  // a view refuses other keys from now on
  }
  bool multiLine = false;
  // Shows what the program writes there; the operator cannot edit it, and Tab passes it by.
  bool locked = false;
  bool fixedPitch = false;  // shown in a fixed-pitch font (the data panel)
  bool password = false;    // the text is shown as bullets (a view's business; the value is the real text)
  // Where the caret stands after the last change, in characters (the GUI scrolls to it).
  std::size_t SelStart = 0;
  // Places the caret (the GUI is told, so it can scroll it into view).
  void setSelStart(std::size_t position) {
    SelStart = position;
    changed();
  }

  std::function<void()> Change;

 private:
  std::string text_;
  std::size_t characters_ = 0;  // of text_, kept so that an append need not count the whole text again
  bool digitsOnly_ = false;
};

// A label, frame or button caption holder without change behaviour.
class Label : public Control {
 public:
  Label(Window& window, std::string name, std::string caption = "", ControlKind kind = ControlKind::Label);
  const std::string& Caption() const { return caption_; }
  void setCaption(const std::string& caption);
  std::string value() const override { return caption_; }
  std::optional<std::string> property(const std::string& name) const override;

 private:
  std::string caption_;
};

class Frame : public Label {
 public:
  Frame(Window& window, std::string name, std::string caption = "")
      : Label(window, name, caption, ControlKind::Frame) {}
};

// A push button. `click` runs `Click` unless the button is disabled.
class CommandButton : public Control {
 public:
  CommandButton(Window& window, std::string name, std::string caption);
  const std::string& Caption() const { return caption_; }
  void setCaption(const std::string& caption);
  std::string value() const override { return caption_; }
  std::optional<std::string> property(const std::string& name) const override;
  void click();

  std::function<void()> Click;

 private:
  std::string caption_;
};

// A check box with values 0 (unticked), 1 (ticked), 2 (greyed). `Click` runs on every change of the value.
class CheckBox : public Control {
 public:
  CheckBox(Window& window, std::string name, std::string caption, int value = 0);
  int Value() const { return value_; }
  void setValue(int value);
  const std::string& Caption() const { return caption_; }
  std::string value() const override { return std::to_string(value_); }
  std::optional<std::string> property(const std::string& name) const override;
  bool operatorEdit(const std::string& text) override;

  std::function<void()> Click;

 private:
  std::string caption_;
  int value_;
};

// A horizontal scroll bar. `Change` runs on every change of the value.
class ScrollBar : public Control {
 public:
  ScrollBar(Window& window, std::string name, int min, int max, int value = 0);
  int Value() const { return value_; }
  void setValue(int value);  // throws std::out_of_range outside Min..Max, as the window system does
  int Min() const { return min_; }
  int Max() const { return max_; }
  std::string value() const override { return std::to_string(value_); }
  std::optional<std::string> property(const std::string& name) const override;
  bool operatorEdit(const std::string& text) override;

  std::function<void()> Change;

 private:
  int min_, max_, value_;
};

}  // namespace qm
