#pragma once
// A window: its caption, visibility and geometry, and the table of its controls and named variables by which the GUI
// binds to it and the scenario language reads and writes it.
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/control.h"

namespace qm {

class Registry;

// A window's outer size around its client area, in twips: 3-pixel borders and a 23-pixel caption bar.
constexpr int kBorderWidth = 90, kBorderHeight = 435;

// Where a control sits at design time: the frame it is in ("" for the window itself) and its geometry in twips.
struct Placement {
  Control& control;
  const char* frame;
  Rect rect;
};
void place(std::initializer_list<Placement> placements);

enum class WindowState { Normal = 0, Minimized = 1 };

class Window {
 public:
  Window(Registry& registry, std::string name, std::string caption);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  void setCaption(const std::string& caption);
  bool Visible() const { return visible_; }
  void Show();
  void Hide();
  // Outer geometry in twips, on the screen.
  const Rect& geometry() const { return geometry_; }
  void setGeometry(Rect r);
  WindowState state() const { return state_; }
  void setState(WindowState s);

  // A close request from the title bar's close box; each window decides what it means.
  virtual void closeRequest() = 0;
  // The window's size changed (or it was shown, minimised or restored).
  virtual void Form_Resize() {}

  // Controls and variables by name.
  void addControl(Control& c);
  void removeControl(Control& c);
  Control* control(const std::string& name) const;
  const std::vector<Control*>& controls() const { return order_; }

  struct Variable {
    std::function<std::string()> get;
    std::function<void(const std::string&)> set;  // empty when read-only
  };
  void addVariable(const std::string& name, Variable v) { variables_[name] = std::move(v); }
  const Variable* variable(const std::string& name) const;
  // A window-level property: Caption, Visible, Left, Top, Width, Height, WindowState.
  std::optional<std::string> property(const std::string& name) const;

  using Observer = std::function<void(const Window&)>;
  void setObserver(Observer o) { observer_ = std::move(o); }

  Registry& registry() const { return registry_; }

 private:
  void changed() const {
    if (observer_) observer_(*this);
  }

  Registry& registry_;
  std::string name_;
  std::string caption_;
  bool visible_ = false;
  Rect geometry_;
  WindowState state_ = WindowState::Normal;
  std::map<std::string, Control*> controls_;
  std::vector<Control*> order_;
  std::map<std::string, Variable> variables_;
  Observer observer_;
};

// All windows by name. A window that is not loaded is loaded by `open`: touching a window loads it.
class Registry {
 public:
  void add(Window& w);
  void remove(Window& w);
  Window* find(const std::string& name) const;  // only if loaded
  // The window, loaded first when needed; null when no such window exists.
  Window* open(const std::string& name);
  void setLoader(const std::string& name, std::function<Window*()> loader) { loaders_[name] = std::move(loader); }
  std::vector<std::string> windowNames() const;

  // Called by whoever loads a window once its load has finished; a view is told then, and when it is unloaded.
  void loaded(Window& w) {
    if (onLoaded) onLoaded(w);
  }
  std::function<void(Window&)> onLoaded;
  std::function<void(Window&)> onUnloaded;

 private:
  std::map<std::string, Window*> windows_;
  std::map<std::string, std::function<Window*()>> loaders_;
};

}  // namespace qm
