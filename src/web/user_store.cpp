#include "web/user_store.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace qm::web {

namespace {

constexpr std::size_t kMaxFile = 1024 * 1024;

// A hash of a password nobody has, checked for unknown names so that the answer's time does not tell which exist.
const std::string& decoyHash() {
  static const std::string hash = [] {
    char out[crypto_pwhash_STRBYTES];
    const char decoy[] = "not a password of anyone";
    if (crypto_pwhash_str(out, decoy, sizeof decoy - 1, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
      return std::string();
    return std::string(out);
  }();
  return hash;
}

bool checkHash(const std::string& hash, const std::string& password) {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

}  // namespace

UserStore::UserStore(std::filesystem::path file) : file_(std::move(file)) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

bool UserStore::validName(const std::string& name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-' && c != '@') return false;
  return true;
}

std::optional<Role> UserStore::parseRole(const std::string& text) {
  if (text == "viewer") return Role::Viewer;
  if (text == "operator") return Role::Operator;
  if (text == "admin") return Role::Admin;
  return std::nullopt;
}

const char* UserStore::roleName(Role role) {
  switch (role) {
    case Role::Viewer:
      return "viewer";
    case Role::Operator:
      return "operator";
    case Role::Admin:
      return "admin";
  }
  return "viewer";
}

bool UserStore::load(std::vector<std::string>& problems, bool makePrivate) {
  users_.clear();
  const std::string where = file_.string() + ": ";
  int fd = ::open(file_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    problems.push_back(where + "cannot be read (" + std::strerror(errno) + "); nobody can log in to the web page");
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(kMaxFile)) {
    ::close(fd);
    problems.push_back(where + "is not a plain file of at most 1 MiB; nobody can log in to the web page");
    return false;
  }
  if ((st.st_mode & 077) && !makePrivate) {
    problems.push_back(where + "can be read by others; the program makes it private (mode 0600) when it starts");
  } else if (st.st_mode & 077) {
    if (::fchmod(fd, 0600) != 0) {
      ::close(fd);
      problems.push_back(where + "can be read by others and cannot be made private (" + std::strerror(errno) +
                         "); nobody can log in to the web page");
      return false;
    }
    problems.push_back(where + "could be read by others; it has been made private (mode 0600)");
  }
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  ssize_t got = ::read(fd, text.data(), text.size());
  ::close(fd);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string name, role, hash, extra;
    words >> name >> role >> hash;
    auto r = parseRole(role);
    if (!validName(name) || !r || hash.rfind("$argon2", 0) != 0 || (words >> extra)) {
      problems.push_back(where + "line " + std::to_string(number) + " is not NAME ROLE HASH; it is left out");
      continue;
    }
    if (users_.size() >= kMaxUsers) {
      problems.push_back(where + "holds more than " + std::to_string(kMaxUsers) + " users; the rest are left out");
      break;
    }
    users_.push_back({name, *r, hash});
  }
  return true;
}

std::optional<Role> UserStore::verify(const std::string& name, const std::string& password) const {
  if (password.size() > kMaxPassword) return std::nullopt;
  for (const User& u : users_)
    if (u.name == name) return checkHash(u.hash, password) ? std::optional<Role>(u.role) : std::nullopt;
  checkHash(decoyHash(), password);
  return std::nullopt;
}

bool UserStore::add(const std::string& name, Role role, const std::string& password, std::string& error) {
  if (!validName(name)) {
    error = "a user name is 1 to 32 letters, digits, '.', '_', '-' or '@'";
    return false;
  }
  if (password.empty() || password.size() > kMaxPassword) {
    error = "a password is 1 to " + std::to_string(kMaxPassword) + " characters";
    return false;
  }
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    error = "the password could not be hashed (out of memory)";
    return false;
  }
  User user{name, role, out};
  bool replaced = false;
  for (User& u : users_)
    if (u.name == name) {
      u = user;
      replaced = true;
    }
  if (!replaced) {
    if (users_.size() >= kMaxUsers) {
      error = "there are already " + std::to_string(kMaxUsers) + " users";
      return false;
    }
    users_.push_back(user);
  }
  return save(error);
}

bool UserStore::remove(const std::string& name, std::string& error) {
  auto before = users_.size();
  std::erase_if(users_, [&](const User& u) { return u.name == name; });
  if (users_.size() == before) {
    error = "there is no user '" + name + "'";
    return false;
  }
  return save(error);
}

bool UserStore::save(std::string& error) const {
  std::string text = "# Users of the Quillmere web page: NAME ROLE HASH (quillmere --add-user, --remove-user)\n";
  for (const User& u : users_) text += u.name + " " + roleName(u.role) + " " + u.hash + "\n";
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  std::string temp = file_.string() + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = "cannot write " + temp + " (" + std::strerror(errno) + ")";
    return false;
  }
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), file_.c_str()) != 0) {
    error = "cannot save " + file_.string() + " (" + std::strerror(errno) + ")";
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace qm::web
