#include "access/secret_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "access/one_time_code_backend.h"

namespace qm {

namespace {

constexpr std::size_t kSecretBytes = 20;  // 160 bits, as RFC 4226 recommends for HMAC-SHA1

bool writePrivate(const std::filesystem::path& path, const std::string& text, std::string& why) {
  // Created owner-only from the first byte: the secret is never readable by others, not even for a moment.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (!ok) why = std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    why = std::strerror(errno);
    ok = false;
  }
  if (!ok) std::filesystem::remove(path);
  return ok;
}

}  // namespace

SecretFile loadOrCreateSecret(const std::filesystem::path& path, OneTimeCodeBackend& backend) {
  SecretFile s;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) {
    try {
      std::string secret = backend.randomSecret(kSecretBytes);
      std::string text = backend.toBase32(secret);
      std::string why;
      if (!writePrivate(path, text + "\n", why)) {
        s.problems.push_back(path.string() + " cannot be written (" + why +
                             "): there is no one-time code secret, so DTMF control cannot be switched on by radio.");
        return s;
      }
      s.secret = secret;
      s.base32 = text;
      s.created = true;
    } catch (const std::exception& e) {
      s.problems.push_back(std::string("No one-time code secret could be made (") + e.what() +
                           "): DTMF control cannot be switched on by radio.");
    }
    return s;
  }

  auto perms = std::filesystem::status(path, ec).permissions();
  using P = std::filesystem::perms;
  if (!ec && (perms & (P::group_all | P::others_all)) != P::none) {
    std::filesystem::permissions(path, P::owner_read | P::owner_write, ec);
    s.problems.push_back(path.string() + " could be read by other users; it is now readable by its owner only." +
                         (ec ? " (That failed: " + ec.message() + ".)" : std::string()) +
                         " Anyone who read it can make codes: delete it to have a new secret made.");
  }
  // A FIFO would hold the start and a device would never end: only a regular file's first kilobyte is read.
  std::ifstream in;
  if (std::filesystem::is_regular_file(path, ec)) in.open(path);
  std::string line(1024, '\0');
  if (in) in.getline(line.data(), static_cast<std::streamsize>(line.size()));
  if (in) line.resize(std::strlen(line.c_str()));  // what getline stored, without its newline
  if (!in || line.empty()) {
    s.problems.push_back(path.string() + " cannot be read: DTMF control cannot be switched on by radio.");
    return s;
  }
  std::string cleaned;
  for (char c : line)
    if (!std::isspace(static_cast<unsigned char>(c)) && c != '=')
      cleaned += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto secret = backend.fromBase32(cleaned);
  if (!secret || secret->empty()) {
    s.problems.push_back(path.string() +
                         " does not hold a base32 secret on its first line: DTMF control cannot be switched on by "
                         "radio.");
    return s;
  }
  s.secret = *secret;
  s.base32 = cleaned;
  return s;
}

}  // namespace qm
