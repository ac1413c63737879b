// Loaded into baresip with the control guard. baresip 1.0 refuses a ringing call with "486 Rejected" whatever it is
// told (its control channel's "hangup" takes no status). Quillmere writes the status it wants, "403" for a caller the
// rules keep out or "486", to the file QUILLMERE_REFUSAL_FILE names before it asks for the hang-up; this library
// wraps libre's sipsess_reject() and sends that status instead of baresip's 486, once (the file is removed).
//
// Plain libc only, as the control guard.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

struct sipsess;

namespace {

using RejectFn = int (*)(sipsess*, std::uint16_t, const char*, const char*, ...);

// The status Quillmere asked for, taken from its file (which is then removed); 0 when there is none.
int askedStatus() {
  const char* path = std::getenv("QUILLMERE_REFUSAL_FILE");
  if (!path || !*path) return 0;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  char text[8] = {};
  ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  ::unlink(path);
  return n >= 3 ? std::atoi(text) : 0;
}

}  // namespace

// baresip passes no extra header format to it (NULL); one that does gets its call refused as baresip asked, without
// the headers, which this wrapper cannot pass on.
extern "C" __attribute__((visibility("default"))) int sipsess_reject(sipsess* sess, std::uint16_t scode,
                                                                     const char* reason, const char* fmt, ...) {
  static auto real = reinterpret_cast<RejectFn>(dlsym(RTLD_NEXT, "sipsess_reject"));
  if (!real) return 38;  // ENOSYS
  (void)fmt;
  if (scode == 486 && askedStatus() == 403) return real(sess, 403, "Forbidden", nullptr);
  return real(sess, scode, reason, nullptr);
}
