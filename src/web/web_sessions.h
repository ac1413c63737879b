#pragma once
// Who is logged in to the web page: sessions (a random id in an HttpOnly, SameSite=Strict cookie, and a CSRF token of
// their own that every command must carry), their expiry (idle and absolute), and the login rate limit: after five
// wrong passwords in a row from one address, that address is answered 429 for a while without a password being
// checked. The time is passed in; the password check is handed in (UserStore::verify, or a test's own).
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "web/user_store.h"

namespace qm::web {

class WebSessions {
 public:
  using Clock = std::chrono::steady_clock;
  using Verify = std::function<std::optional<Role>(const std::string& user, const std::string& password)>;
  struct Limits {
    int wrongInARow = 5;
    std::chrono::seconds lockout{300};
    std::chrono::seconds idle{std::chrono::minutes(30)};
    std::chrono::seconds lifetime{std::chrono::hours(12)};
    std::size_t maxSessions = 64;
    std::size_t maxAddresses = 4096;
  };
  struct Session {
    std::string id, csrf, user;
    Role role = Role::Viewer;
    Clock::time_point created, lastUse;
  };
  struct Login {
    int status = 401;  // 200, 401 or 429
    Session session;   // when 200
  };

  explicit WebSessions(Verify verify) : WebSessions(std::move(verify), Limits{}) {}
  WebSessions(Verify verify, Limits limits) : verify_(std::move(verify)), limits_(limits) {}

  Login login(const std::string& address, const std::string& user, const std::string& password, Clock::time_point now);
  // The live session with this id (its idle time starts again); nothing when there is none or it has expired.
  std::optional<Session> find(const std::string& id, Clock::time_point now);
  // True while the session lives, without starting its idle time again (an open page that only watches).
  bool alive(const std::string& id, Clock::time_point now);
  void logout(const std::string& id);
  // The CSRF token of a command against its session's, compared in constant time.
  static bool csrfMatches(const Session& session, const std::string& token);
  std::size_t count() const { return sessions_.size(); }

 private:
  struct Attempts {
    int wrong = 0;
    bool locked = false;
    Clock::time_point until{};  // the lock-out's end, or when the count of wrong passwords is forgotten
  };
  void prune(Clock::time_point now);
  Verify verify_;
  Limits limits_;
  std::map<std::string, Session> sessions_;
  std::map<std::string, Attempts> attempts_;
};

// A random token: 32 bytes from the system's source, as 64 hex digits.
std::string randomToken();

}  // namespace qm::web
