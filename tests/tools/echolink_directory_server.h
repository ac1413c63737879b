#pragma once
// A stand-in EchoLink directory server on a loopback address, TCP port 5200, written from the protocol libecholib
// speaks. One command a connection:
//   login  "l" CALL 0xAC 0xAC PASSWORD CR STATUS CR LOCATION CR   answered "OK"; STATUS starts with ONLINE, BUSY
//          or OFF. A wrong password is answered "OK" too, as the library expects: the station is not listed, and
//          its next station list carries the message "INCORRECT PASSWORD".
//   list   "s"   answered "@@@\n", the count, then four lines per station (callsign, "LOCATION [ON HH:MM]", node
//          number, IPv4 address), then "+++"; a message is an entry whose callsign is a blank.
// Stations logged in are listed at the address their login came from; others can be added by hand.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class EchoLinkDirectoryServer {
 public:
  struct Login {
    std::string call, password, status, location, address;
  };

  explicit EchoLinkDirectoryServer(const std::string& address = "127.0.0.1", int port = 5200);
  ~EchoLinkDirectoryServer();
  bool listening() const { return listenFd_ >= 0; }

  // A login of CALL with another password is refused; calls without one take any password.
  void setPassword(const std::string& call, const std::string& password);
  void addStation(const std::string& call, const std::string& address, int id, const std::string& location = "");
  std::vector<Login> logins() const;
  int loginCount(const std::string& call) const;
  int listRequests() const { return listRequests_; }
  int nodeNumber(const std::string& call) const;

 private:
  struct Entry {
    std::string address, location;
    int id;
    bool busy = false;
  };
  void run();
  void serve(int fd, const std::string& peer);
  std::string list(const std::string& peer);

  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> passwords_;
  std::map<std::string, Entry> stations_;
  std::map<std::string, bool> refusedAddresses_;
  std::vector<Login> logins_;
  std::atomic<int> listRequests_{0};
  int nextId_ = 100001;
};
