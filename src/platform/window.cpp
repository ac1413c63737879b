#include "platform/window.h"

namespace qm {

void place(std::initializer_list<Placement> placements) {
  for (const Placement& p : placements) {
    p.control.setGeometry(p.rect);
    p.control.setContainer(p.frame);
  }
}

Window::Window(Registry& registry, std::string name, std::string caption)
    : registry_(registry), name_(std::move(name)), caption_(std::move(caption)) {
  registry_.add(*this);
}

Window::~Window() {
  registry_.remove(*this);
}

void Window::setCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  changed();
}

void Window::Show() {
  if (visible_) return;
  visible_ = true;
  changed();
  Form_Resize();
}

void Window::Hide() {
  if (!visible_) return;
  visible_ = false;
  changed();
}

void Window::setGeometry(Rect r) {
  if (r == geometry_) return;
  bool resized = r.width != geometry_.width || r.height != geometry_.height;
  geometry_ = r;
  changed();
  if (resized) Form_Resize();
}

void Window::setState(WindowState s) {
  if (s == state_) return;
  state_ = s;
  changed();
  Form_Resize();
}

void Window::addControl(Control& c) {
  controls_[c.name()] = &c;
  order_.push_back(&c);
}

void Window::removeControl(Control& c) {
  controls_.erase(c.name());
  std::erase(order_, &c);
}

Control* Window::control(const std::string& name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

const Window::Variable* Window::variable(const std::string& name) const {
  auto it = variables_.find(name);
  return it == variables_.end() ? nullptr : &it->second;
}

std::optional<std::string> Window::property(const std::string& name) const {
  if (name == "Caption") return caption_;
  if (name == "Visible") return visible_ ? "1" : "0";
  if (name == "Left") return std::to_string(geometry_.left);
  if (name == "Top") return std::to_string(geometry_.top);
  if (name == "Width") return std::to_string(geometry_.width);
  if (name == "Height") return std::to_string(geometry_.height);
  if (name == "WindowState") return std::to_string(static_cast<int>(state_));
  return std::nullopt;
}

void Registry::add(Window& w) {
  windows_[w.name()] = &w;
}

void Registry::remove(Window& w) {
  auto it = windows_.find(w.name());
  if (it != windows_.end() && it->second == &w) windows_.erase(it);
  if (onUnloaded) onUnloaded(w);
}

Window* Registry::find(const std::string& name) const {
  auto it = windows_.find(name);
  return it == windows_.end() ? nullptr : it->second;
}

Window* Registry::open(const std::string& name) {
  if (Window* w = find(name)) return w;
  auto it = loaders_.find(name);
  return it == loaders_.end() ? nullptr : it->second();
}

std::vector<std::string> Registry::windowNames() const {
  std::vector<std::string> names;
  for (auto& [name, loader] : loaders_) names.push_back(name);
  return names;
}

}  // namespace qm
