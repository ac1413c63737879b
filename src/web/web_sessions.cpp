#include "web/web_sessions.h"

#include <sodium.h>

namespace qm::web {

std::string randomToken() {
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

bool WebSessions::csrfMatches(const Session& session, const std::string& token) {
  return token.size() == session.csrf.size() && !token.empty() &&
         sodium_memcmp(token.data(), session.csrf.data(), token.size()) == 0;
}

void WebSessions::prune(Clock::time_point now) {
  std::erase_if(sessions_, [&](const auto& entry) {
    const Session& s = entry.second;
    return now - s.lastUse > limits_.idle || now - s.created > limits_.lifetime;
  });
  std::erase_if(attempts_, [&](const auto& entry) { return entry.second.until <= now; });
}

WebSessions::Login WebSessions::login(const std::string& address, const std::string& user, const std::string& password,
                                      Clock::time_point now) {
  prune(now);
  auto at = attempts_.find(address);
  if (at != attempts_.end() && at->second.locked) return {429, {}};
  // So many addresses failing at once that their count no longer fits: nobody new gets a try until some expire.
  if (at == attempts_.end() && attempts_.size() >= limits_.maxAddresses) return {429, {}};
  std::optional<Role> role = verify_(user, password);
  if (!role) {
    Attempts& a = attempts_[address];
    a.until = now + limits_.lockout;  // a slow guesser is still counted
    a.locked = ++a.wrong >= limits_.wrongInARow;
    return {401, {}};
  }
  attempts_.erase(address);
  if (sessions_.size() >= limits_.maxSessions) {
    auto oldest = sessions_.begin();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    sessions_.erase(oldest);
  }
  Session s{randomToken(), randomToken(), user, *role, now, now};
  sessions_[s.id] = s;
  return {200, s};
}

std::optional<WebSessions::Session> WebSessions::find(const std::string& id, Clock::time_point now) {
  prune(now);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  it->second.lastUse = now;
  return it->second;
}

bool WebSessions::alive(const std::string& id, Clock::time_point now) {
  prune(now);
  return sessions_.count(id) > 0;
}

void WebSessions::logout(const std::string& id) {
  sessions_.erase(id);
}

}  // namespace qm::web
