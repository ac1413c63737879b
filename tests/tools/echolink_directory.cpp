// The stand-in EchoLink directory on 127.0.0.1:5200 as a process, for the end-to-end tests: writes "ready" (or
// "cannot listen") and then, for each line "logins" on standard input, one line "login CALL STATUS LOCATION" per login
// seen so far and "end"; for "lists", one line "lists N" (the station lists asked for so far); for "add CALL ADDRESS",
// lists CALL at ADDRESS; ends on "quit" or the end of standard input.
//   echolink_directory [CALL PASSWORD]...   (a call given a password refuses any other)
#include <iostream>
#include <sstream>
#include <string>

#include "echolink_directory_server.h"

int main(int argc, char** argv) {
  EchoLinkDirectoryServer directory;
  if (!directory.listening()) {
    std::cout << "cannot listen" << std::endl;
    return 1;
  }
  for (int i = 1; i + 1 < argc; i += 2) directory.setPassword(argv[i], argv[i + 1]);
  std::cout << "ready" << std::endl;
  std::string line;
  int added = 0;
  while (std::getline(std::cin, line) && line != "quit") {
    if (line == "lists") std::cout << "lists " << directory.listRequests() << std::endl;
    if (line.rfind("add ", 0) == 0) {
      std::istringstream words(line.substr(4));
      std::string call, address;
      words >> call >> address;
      directory.addStation(call, address, 200000 + ++added);
      std::cout << "added " << call << std::endl;
    }
    if (line != "logins") continue;
    for (const auto& login : directory.logins())
      std::cout << "login " << login.call << ' ' << login.status << ' ' << login.location << '\n';
    std::cout << "end" << std::endl;
  }
  return 0;
}
