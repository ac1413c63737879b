#pragma once
// The web page's users: quillmere_web_users in the machine-wide folder, one user a line, "NAME ROLE HASH", the hash
// Argon2id's encoded string (libsodium's crypto_pwhash_str). Only the program's user may read the file (mode 0600):
// a file others can read is made private with a warning, or refused when that fails. Saved atomically.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qm::web {

enum class Role { Viewer = 0, Operator = 1, Admin = 2 };

struct User {
  std::string name;
  Role role = Role::Viewer;
  std::string hash;
};

class UserStore {
 public:
  static constexpr std::size_t kMaxUsers = 1000;
  static constexpr std::size_t kMaxPassword = 256;

  explicit UserStore(std::filesystem::path file);

  // Reads the file (a missing file holds no users); each problem names the file. False when it cannot be used.
  // A file others can read is made private, unless `makePrivate` is false (then it is only named).
  bool load(std::vector<std::string>& problems, bool makePrivate = true);
  // The user's role when the password is theirs. An unknown name takes as long as a wrong password.
  std::optional<Role> verify(const std::string& name, const std::string& password) const;
  // Adds or replaces a user and saves; false with `error` set when it cannot.
  bool add(const std::string& name, Role role, const std::string& password, std::string& error);
  // Removes a user and saves; false with `error` set when there is none or it cannot be saved.
  bool remove(const std::string& name, std::string& error);
  const std::vector<User>& users() const { return users_; }
  const std::filesystem::path& file() const { return file_; }

  static bool validName(const std::string& name);
  static std::optional<Role> parseRole(const std::string& text);
  static const char* roleName(Role role);

 private:
  bool save(std::string& error) const;
  std::filesystem::path file_;
  std::vector<User> users_;
};

}  // namespace qm::web
