#include "platform/window_system.h"

#include <cstring>

namespace qm {
namespace {

std::string lowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

UINT WindowSystem::RegisterWindowMessage(const std::string& name) {
  if (name.empty()) return 0;
  std::string key = lowerCase(name);
  auto it = messages_.find(key);
  if (it != messages_.end()) return it->second;
  if (nextMessage_ > 0xFFFF) return 0;
  UINT id = nextMessage_++;
  messages_.emplace(key, id);
  return id;
}

WNDPROC WindowSystem::addProcedure(Procedure procedure) {
  WNDPROC address = nextProcedure_;
  nextProcedure_ += 0x10;
  procedures_.emplace(address, std::make_shared<Procedure>(std::move(procedure)));
  return address;
}

void WindowSystem::removeProcedure(WNDPROC address) {
  procedures_.erase(address);  // a call already running keeps its own reference
}

WNDPROC WindowSystem::defaultProcedure() {
  if (!defaultProcedure_) defaultProcedure_ = addProcedure([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  return defaultProcedure_;
}

HWND WindowSystem::createWindow(const std::string& name, WNDPROC procedure) {
  if (!procedures_.count(procedure)) procedure = defaultProcedure();
  HWND hwnd = nextWindow_;
  nextWindow_ += 2;
  windows_.emplace(hwnd, WindowEntry{name, procedure});
  return hwnd;
}

void WindowSystem::destroyWindow(HWND hwnd) {
  windows_.erase(hwnd);
}

LRESULT WindowSystem::SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd != HWND_BROADCAST) return deliver(hwnd, msg, wParam, lParam);
  std::vector<HWND> targets;
  for (auto& [handle, entry] : windows_) targets.push_back(handle);
  bool delivered = false;
  for (HWND target : targets) {
    if (!isWindow(target)) continue;  // destroyed by an earlier recipient
    deliver(target, msg, wParam, lParam);
    delivered = true;
  }
  return delivered ? 1 : 0;
}

LRESULT WindowSystem::deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return 0;
  WNDPROC procedure = it->second.procedure;
  if (msg != WM_COPYDATA || lParam == 0) return call(procedure, hwnd, msg, wParam, lParam);
  // The receiver gets its own copy of the record and of exactly cbData bytes, valid during the call only.
  const auto* sent = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  std::vector<char> bytes = copyDataBytes(lParam);
  COPYDATASTRUCT copy{sent->dwData, sent->cbData, bytes.empty() ? nullptr : bytes.data()};
  return call(procedure, hwnd, msg, wParam, reinterpret_cast<LPARAM>(&copy));
}

std::intptr_t WindowSystem::SetWindowLong(HWND hwnd, int index, std::intptr_t value) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || index != GWL_WNDPROC || !procedures_.count(value)) return 0;
  WNDPROC previous = it->second.procedure;
  it->second.procedure = value;
  return previous;
}

std::intptr_t WindowSystem::GetWindowLong(HWND hwnd, int index) const {
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || index != GWL_WNDPROC) return 0;
  return it->second.procedure;
}

LRESULT WindowSystem::CallWindowProc(WNDPROC address, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return call(address, hwnd, msg, wParam, lParam);
}

LRESULT WindowSystem::call(WNDPROC address, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto it = procedures_.find(address);
  if (it == procedures_.end() || depth_ >= kMaxDepth) return 0;
  std::shared_ptr<Procedure> procedure = it->second;  // survives its removal during the call
  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(depth) { ++d; }
    ~Depth() { --d; }
  } depth{depth_};
  return (*procedure)(hwnd, msg, wParam, lParam);
}

std::vector<char> copyDataBytes(LPARAM lParam) {
  if (lParam == 0) return {};
  const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (!record->lpData || record->cbData == 0) return {};
  std::vector<char> bytes(record->cbData);
  std::memcpy(bytes.data(), record->lpData, record->cbData);
  return bytes;
}

}  // namespace qm
