#include "web/user_command.h"

#include <iostream>
#include <string>
#include <vector>

#include "options.h"
#include "web/user_store.h"
#include "web/web_settings.h"

namespace qm::web {

int runUserCommand(const Options& o, const std::filesystem::path& machineFolder, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  UserStore store(machineFolder / kUsersFile);
  std::vector<std::string> problems;
  bool usable = store.load(problems);
  for (const auto& p : problems) err << "quillmere: " << p << "\n";
  if (!usable) return 1;
  std::string error;
  if (o.removeUser) {
    if (!store.remove(*o.removeUser, error)) {
      err << "quillmere: " << error << "\n";
      return 1;
    }
    out << "quillmere: user '" << *o.removeUser << "' removed\n";
    return 0;
  }
  // One line, at most a little over the longest password, so a stray file on standard input is not read whole.
  std::string password;
  char c;
  while (in.get(c) && c != '\n') {
    if (password.size() > UserStore::kMaxPassword) break;
    password += c;
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  auto role = UserStore::parseRole(o.role.value_or(""));
  if (!role || !store.add(*o.addUser, *role, password, error)) {
    err << "quillmere: " << (role ? error : "unknown role") << "\n";
    return 1;
  }
  out << "quillmere: user '" << *o.addUser << "' (" << UserStore::roleName(*role) << ") saved in "
      << store.file().string() << "\n";
  return 0;
}

}  // namespace qm::web
