#pragma once
// A window model shown as a top-level Qt window, built from the controls the window registered: each control's
// widget sits in the widget of the frame its container names, at its geometry in twips. The model drives the
// caption, position, visibility and minimised state; a close request from the title bar goes to the model, which
// decides (the Qt close itself is always refused).
//
// The window shows its client area only: outer size less the border. Controls placed beyond it stay part of the
// window and reachable with the keyboard: the content is a fixed viewport onto a canvas that holds every control,
// and the viewport follows the keyboard focus, returning to the client area when the focus does.
#include <QScrollArea>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/control_view.h"
#include "platform/window.h"

namespace qm {

// The font the windows' controls are shown in.
QFont designFont();
// The screen area windows may use (without panels and docks), of the screen `near` is on or the primary one.
QRect availableArea(const QWidget* near = nullptr);
// What the window manager adds around a window's contents (an estimate until the window has been shown).
QSize frameAllowance(const QWidget& window);

class WindowView : public QWidget {
 public:
  explicit WindowView(Window& window);
  ~WindowView() override;

  // The window, or null once it has been unloaded.
  Window* model() const { return window_; }
  // The window is being unloaded: forget it and its controls.
  void detach();
  // The widget of a control, by the control's name; null when there is none.
  QWidget* widgetFor(const std::string& controlName) const;
  QScrollArea* viewport() const { return viewport_; }
  // The client area in pixels: the part of the canvas that is normally shown.
  QSize clientSize() const { return client_; }

  // Outer border of a fixed single-border window, in twips: the model's sizes are outer sizes.

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void layOutClient();
  ControlView* viewFor(Control& control);
  void refreshWindow();
  void follow(QWidget* focused);

  Window* window_;
  QScrollArea* viewport_;
  QWidget* canvas_;
  QSize client_;
  QSize laidOutFor_;
  bool fitsScreen_ =
      true;  // the whole client area is shown  // the outer size, in twips, the client area was computed for
  std::vector<std::unique_ptr<ControlView>> views_;
  std::map<std::string, ControlView*> byName_;
  QMetaObject::Connection focusWatch_;
};

// Keeps one view per loaded window of a registry: a view appears when a window has loaded and goes when it is
// unloaded.
class WindowViews {
 public:
  explicit WindowViews(Registry& registry);
  ~WindowViews();
  WindowViews(const WindowViews&) = delete;
  WindowViews& operator=(const WindowViews&) = delete;

  // The view of a loaded window; null when it has none.
  WindowView* find(const std::string& windowName) const;

 private:
  void loaded(Window& window);
  void unloaded(Window& window);

  Registry& registry_;
  std::map<const Window*, WindowView*> views_;
};

}  // namespace qm
