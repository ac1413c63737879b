#pragma once
// One control of a window model shown as a Qt widget, bound both ways: the operator's edit goes to the model as an
// operator edit or a click, so the control's change behaviour runs; every change of the model reaches the widget
// at once through the control's observer. Geometry is the model's, in twips, relative to the control's frame.
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "platform/control.h"

namespace qm {

constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch
inline int toPixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
inline int toTwips(int pixels) {
  return pixels * kTwipsPerPixel;
}

class ControlView {
 public:
  // The view of `control` as a child of `parent`; nothing for a control that is not shown (a timer).
  static std::unique_ptr<ControlView> create(Control& control, QWidget* parent);
  virtual ~ControlView();
  ControlView(const ControlView&) = delete;
  ControlView& operator=(const ControlView&) = delete;

  QWidget* widget() const { return widget_; }
  // The control, or null once it is gone (its window was unloaded).
  Control* control() const { return control_; }
  // Forget the control: its window is being unloaded, so nothing may reach it any more.
  void detach();
  // Shows everything the model holds.
  void refresh();

 protected:
  ControlView(Control& control, QWidget* widget);
  // Keeps a connection from the widget, cut when the control goes.
  void keep(QMetaObject::Connection c) { connections_.push_back(std::move(c)); }
  // Runs an operator action on the model from the event loop; the program ending there is handled.
  void operatorAction(const std::function<void()>& action);
  virtual void refreshContent() = 0;
  // The palette roles this kind paints its background and text with.
  virtual QPalette::ColorRole backgroundRole() const { return QPalette::Window; }
  virtual QPalette::ColorRole foregroundRole() const { return QPalette::WindowText; }
  virtual bool fillsBackground() const { return true; }

  Control* control_;
  QPointer<QWidget> widget_;
  bool updating_ = false;  // the widget is being set from the model: its signals are not operator edits

 private:
  void refreshCommon();
  std::vector<QMetaObject::Connection> connections_;
};

// A label's caption as plain text: the window system shows "&&" as one ampersand and hides a single "&", which
// marks an access key.
QString labelText(const std::string& caption);

}  // namespace qm
