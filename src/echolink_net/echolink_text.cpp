#include "echolink_net/echolink_text.h"

namespace qm::echolink_net {

std::string chatLine(const std::string& received, std::size_t limit) {
  std::string out = received.substr(0, received.size() > limit + 2 ? limit + 2 : received.size());
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '\0')) out.pop_back();
  for (char& c : out)
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::string stationName(const std::string& received) {
  std::string out = received.substr(0, 64);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = ' ';
  return out;
}

std::string stationText(const std::string& received, std::size_t limit) {
  std::string out;
  for (char c : received) {
    if (out.size() >= limit) break;
    if (c == '\0') continue;
    out += c == '\n' ? '\r' : c;
  }
  if (!out.empty() && out.back() != '\r' && out.size() < limit) out += '\r';
  return out;
}

std::string chatToSend(const std::string& text, std::size_t limit) {
  std::string out = text.substr(0, limit);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return out;
}

}  // namespace qm::echolink_net
