// Stands in for serial ports, CM108 hidraw devices and gpiochips, for the line tests on a machine without them.
// Loaded before libc and libgpiod (LD_PRELOAD), it takes over every device path under $QM_FAKE_DEVICES: the paths
// are plain files the test makes, and what a real device would do is kept beside them in files the test reads and
// writes:
//   ttyNAME.modem      the modem bits (TIOCM_*) as a decimal number; TIOCMGET reads it, TIOCMBIS/TIOCMBIC change it
//   ttyNAME.hupcl      1 or 0: whether closing the port would drop RTS and DTR (set through tcsetattr)
//   hidrawNAME.ids     "vvvv:pppp", the USB ids HIDIOCGRAWINFO gives (default 0d8c:013c, a CM108AH)
//   hidrawNAME.reports every output report written, one a line in hex ("00 00 04 04 00")
//   hidrawNAME.input   the input report in hex; read() gives it once after each change
//   gpiochipNAME       "label=...", "lines=N", "names=a,b,...", "used=OFFSET" lines: the chip
//   gpiochipNAME.values  one character 0/1 per line: the physical levels
//   gpiochipNAME.log   "output OFFSET VALUE" for each output request (the value it starts at), "set OFFSET VALUE",
//                      "events OFFSET", "release OFFSET"
// Everything else goes to the real functions. The calls a fatal-signal handler makes (ioctl, write) use only
// system calls and buffers on the stack.
#include <dlfcn.h>
#include <fcntl.h>
#include <gpiod.h>
#include <linux/hidraw.h>
#include <stdarg.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
int qm_fake_devices_shim = 1;  // tests look for it to know the shim is in place
}

namespace {

enum class Kind { None, Serial, Hidraw };

struct FakeFd {
  Kind kind = Kind::None;
  char path[512] = {};
  char lastInput[128] = {};
};

FakeFd fakes[1024];

const char* fakeDir() {
  return ::getenv("QM_FAKE_DEVICES");
}

bool isFake(const char* path) {
  const char* dir = fakeDir();
  if (dir == nullptr || *dir == 0 || path == nullptr) return false;
  const size_t length = ::strlen(dir);
  return ::strncmp(path, dir, length) == 0 && path[length] == '/';
}

const char* baseName(const char* path) {
  const char* slash = ::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

FakeFd* fake(int fd) {
  if (fd < 0 || fd >= 1024 || fakes[fd].kind == Kind::None) return nullptr;
  return &fakes[fd];
}

// Side files, read and written with system calls only.
void sidePath(char* out, size_t size, const char* path, const char* suffix) {
  ::snprintf(out, size, "%s%s", path, suffix);
}

ssize_t readSide(const char* path, const char* suffix, char* buffer, size_t size) {
  char name[600];
  sidePath(name, sizeof name, path, suffix);
  const int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, name, O_RDONLY | O_CLOEXEC));
  if (fd < 0) return -1;
  const ssize_t got = ::syscall(SYS_read, fd, buffer, size - 1);
  ::syscall(SYS_close, fd);
  buffer[got > 0 ? got : 0] = 0;
  return got;
}

void writeSide(const char* path, const char* suffix, const char* text, bool append) {
  char name[600];
  sidePath(name, sizeof name, path, suffix);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  const int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, name, flags, 0644));
  if (fd < 0) return;
  ::syscall(SYS_write, fd, text, ::strlen(text));
  ::syscall(SYS_close, fd);
}

int readModem(const char* path) {
  char text[32];
  return readSide(path, ".modem", text, sizeof text) > 0 ? ::atoi(text) : 0;
}

void writeModem(const char* path, int bits) {
  char text[32];
  ::snprintf(text, sizeof text, "%d\n", bits);
  writeSide(path, ".modem", text, false);
}

int parseHex(const char* text, unsigned char* bytes, int size) {
  int count = 0;
  while (*text != 0 && count < size) {
    char* end = nullptr;
    const long value = ::strtol(text, &end, 16);
    if (end == text) break;
    bytes[count++] = static_cast<unsigned char>(value);
    text = end;
  }
  return count;
}

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

int track(int fd, const char* path) {
  if (fd >= 0 && fd < 1024 && isFake(path)) {
    const char* base = baseName(path);
    fakes[fd] = FakeFd{};
    fakes[fd].kind = ::strncmp(base, "tty", 3) == 0      ? Kind::Serial
                     : ::strncmp(base, "hidraw", 6) == 0 ? Kind::Hidraw
                                                         : Kind::None;
    ::snprintf(fakes[fd].path, sizeof fakes[fd].path, "%s", path);
  }
  return fd;
}

// The fake device files are plain files: opened without O_CREAT flags that a device would not need.
int openFake(const char* path, int flags) {
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags & ~(O_NONBLOCK | O_NOCTTY)));
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if (isFake(path)) return track(openFake(path, flags), path);
  return real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if (isFake(path)) return track(openFake(path, flags), path);
  return real<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int __open_2(const char* path, int flags) {
  if (isFake(path)) return track(openFake(path, flags), path);
  return real<int (*)(const char*, int)>("__open_2")(path, flags);
}

int __open64_2(const char* path, int flags) {
  if (isFake(path)) return track(openFake(path, flags), path);
  return real<int (*)(const char*, int)>("__open64_2")(path, flags);
}

int close(int fd) {
  if (FakeFd* f = fake(fd)) f->kind = Kind::None;
  return static_cast<int>(::syscall(SYS_close, fd));
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  FakeFd* f = fake(fd);
  if (f == nullptr) return static_cast<int>(::syscall(SYS_ioctl, fd, request, argument));
  if (f->kind == Kind::Serial) {
    int* bits = static_cast<int*>(argument);
    switch (request) {
      case TIOCMGET:
        *bits = readModem(f->path);
        return 0;
      case TIOCMSET:
        writeModem(f->path, *bits);
        return 0;
      case TIOCMBIS:
        writeModem(f->path, readModem(f->path) | *bits);
        return 0;
      case TIOCMBIC:
        writeModem(f->path, readModem(f->path) & ~*bits);
        return 0;
      default:
        break;
    }
  }
  if (f->kind == Kind::Hidraw) {
    if (request == HIDIOCGRAWINFO) {
      char text[64];
      unsigned vendor = 0x0d8c, product = 0x013c;
      if (readSide(f->path, ".ids", text, sizeof text) > 0) ::sscanf(text, "%x:%x", &vendor, &product);
      auto* info = static_cast<hidraw_devinfo*>(argument);
      info->bustype = 3;
      info->vendor = static_cast<short>(vendor);
      info->product = static_cast<short>(product);
      return 0;
    }
    if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == 0x04) {  // HIDIOCGRAWNAME(len)
      char* name = static_cast<char*>(argument);
      ::snprintf(name, _IOC_SIZE(request), "Fake USB Audio Device");
      return static_cast<int>(::strlen(name));
    }
    if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == 0x0A) {  // HIDIOCGINPUT(len): report number, then data
      char text[128];
      unsigned char* bytes = static_cast<unsigned char*>(argument);
      const int size = static_cast<int>(_IOC_SIZE(request));
      int count = readSide(f->path, ".input", text, sizeof text) > 0 ? parseHex(text, bytes + 1, size - 1) : 0;
      bytes[0] = 0;
      ::snprintf(f->lastInput, sizeof f->lastInput, "%s", count > 0 ? text : "");
      return count + 1;
    }
  }
  errno = ENOTTY;
  return -1;
}

ssize_t write(int fd, const void* buffer, size_t count) {
  FakeFd* f = fake(fd);
  if (f == nullptr || f->kind != Kind::Hidraw) return ::syscall(SYS_write, fd, buffer, count);
  char line[256] = {};
  size_t used = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  for (size_t i = 0; i < count && used + 4 < sizeof line; ++i)
    used += ::snprintf(line + used, sizeof line - used, i == 0 ? "%02x" : " %02x", bytes[i]);
  ::snprintf(line + used, sizeof line - used, "\n");
  writeSide(f->path, ".reports", line, true);
  return static_cast<ssize_t>(count);
}

ssize_t read(int fd, void* buffer, size_t count) {
  FakeFd* f = fake(fd);
  if (f == nullptr || f->kind != Kind::Hidraw) return ::syscall(SYS_read, fd, buffer, count);
  char text[128];
  if (readSide(f->path, ".input", text, sizeof text) <= 0 || ::strcmp(text, f->lastInput) == 0) {
    errno = EAGAIN;
    return -1;
  }
  ::snprintf(f->lastInput, sizeof f->lastInput, "%s", text);
  return parseHex(text, static_cast<unsigned char*>(buffer), static_cast<int>(count));
}

int tcgetattr(int fd, struct termios* mode) noexcept {
  FakeFd* f = fake(fd);
  if (f == nullptr) return real<int (*)(int, struct termios*)>("tcgetattr")(fd, mode);
  if (f->kind != Kind::Serial) {
    errno = ENOTTY;
    return -1;
  }
  char text[8];
  *mode = termios{};
  mode->c_cflag = CS8 | CREAD | CLOCAL;
  if (readSide(f->path, ".hupcl", text, sizeof text) <= 0 || text[0] == '1') mode->c_cflag |= HUPCL;
  return 0;
}

int tcsetattr(int fd, int when, const struct termios* mode) noexcept {
  FakeFd* f = fake(fd);
  if (f == nullptr) return real<int (*)(int, int, const struct termios*)>("tcsetattr")(fd, when, mode);
  if (f->kind != Kind::Serial) {
    errno = ENOTTY;
    return -1;
  }
  writeSide(f->path, ".hupcl", (mode->c_cflag & HUPCL) != 0 ? "1\n" : "0\n", false);
  return 0;
}

}  // extern "C"

// libgpiod v1, for chips under the fake folder.
namespace {

struct FakeChip;

struct FakeLine {
  FakeChip* chip = nullptr;
  unsigned offset = 0;
  int requested = 0;  // 0 free, 1 output, 2 edge events
  int events = -1;    // an eventfd the test writes to, standing in for the line's event descriptor
};

struct FakeChip {
  std::string path;
  std::string label = "fake-gpio";
  std::vector<std::string> names;
  std::vector<unsigned> used;
  FakeLine lines[64];
  unsigned count = 8;
};

std::vector<FakeChip*>& chips() {
  static std::vector<FakeChip*> all;
  return all;
}

FakeChip* fakeChip(gpiod_chip* chip) {
  for (FakeChip* c : chips())
    if (reinterpret_cast<gpiod_chip*>(c) == chip) return c;
  return nullptr;
}

FakeLine* fakeLine(gpiod_line* line) {
  for (FakeChip* c : chips()) {
    const auto* first = reinterpret_cast<gpiod_line*>(&c->lines[0]);
    const auto* last = reinterpret_cast<gpiod_line*>(&c->lines[63]);
    if (line >= first && line <= last) return reinterpret_cast<FakeLine*>(line);
  }
  return nullptr;
}

void logLine(FakeLine* line, const char* what, int value) {
  char text[96];
  if (value >= 0)
    ::snprintf(text, sizeof text, "%s %u %d\n", what, line->offset, value);
  else
    ::snprintf(text, sizeof text, "%s %u\n", what, line->offset);
  writeSide(line->chip->path.c_str(), ".log", text, true);
}

int levelOf(FakeLine* line) {
  char text[80];
  if (readSide(line->chip->path.c_str(), ".values", text, sizeof text) <= static_cast<ssize_t>(line->offset)) return 0;
  return text[line->offset] == '1' ? 1 : 0;
}

void setLevel(FakeLine* line, int value) {
  char text[80] = {};
  const ssize_t got = readSide(line->chip->path.c_str(), ".values", text, sizeof text);
  for (unsigned i = got > 0 ? static_cast<unsigned>(got) : 0; i < line->chip->count && i < 64; ++i) text[i] = '0';
  text[line->offset] = value != 0 ? '1' : '0';
  text[line->chip->count] = 0;
  writeSide(line->chip->path.c_str(), ".values", text, false);
}

}  // namespace

extern "C" {

gpiod_chip* gpiod_chip_open(const char* path) {
  if (!isFake(path)) {
    // Where the linker left libgpiod out (every call it needed is here), real chips are not to be had.
    auto open = real<gpiod_chip* (*)(const char*)>("gpiod_chip_open");
    if (open == nullptr) {
      errno = ENODEV;
      return nullptr;
    }
    return open(path);
  }
  std::ifstream in(path);
  if (!in) {
    errno = ENOENT;
    return nullptr;
  }
  auto* chip = new FakeChip;
  chip->path = path;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("label=", 0) == 0) chip->label = line.substr(6);
    if (line.rfind("lines=", 0) == 0) chip->count = static_cast<unsigned>(std::stoul(line.substr(6)));
    if (line.rfind("used=", 0) == 0) chip->used.push_back(static_cast<unsigned>(std::stoul(line.substr(5))));
    if (line.rfind("names=", 0) == 0) {
      std::stringstream names(line.substr(6));
      std::string name;
      while (std::getline(names, name, ',')) chip->names.push_back(name);
    }
  }
  for (unsigned i = 0; i < 64; ++i) chip->lines[i] = FakeLine{chip, i, 0, -1};
  chips().push_back(chip);
  return reinterpret_cast<gpiod_chip*>(chip);
}

void gpiod_chip_close(gpiod_chip* chip) {
  FakeChip* c = fakeChip(chip);
  if (c == nullptr) return real<void (*)(gpiod_chip*)>("gpiod_chip_close")(chip);
  for (FakeLine& line : c->lines)
    if (line.events >= 0) ::syscall(SYS_close, line.events);
  std::erase(chips(), c);
  delete c;
}

const char* gpiod_chip_label(gpiod_chip* chip) {
  FakeChip* c = fakeChip(chip);
  return c != nullptr ? c->label.c_str() : real<const char* (*)(gpiod_chip*)>("gpiod_chip_label")(chip);
}

unsigned int gpiod_chip_num_lines(gpiod_chip* chip) {
  FakeChip* c = fakeChip(chip);
  return c != nullptr ? c->count : real<unsigned (*)(gpiod_chip*)>("gpiod_chip_num_lines")(chip);
}

gpiod_line* gpiod_chip_get_line(gpiod_chip* chip, unsigned int offset) {
  FakeChip* c = fakeChip(chip);
  if (c == nullptr) return real<gpiod_line* (*)(gpiod_chip*, unsigned)>("gpiod_chip_get_line")(chip, offset);
  if (offset >= c->count) {
    errno = EINVAL;
    return nullptr;
  }
  return reinterpret_cast<gpiod_line*>(&c->lines[offset]);
}

gpiod_line* gpiod_chip_find_line(gpiod_chip* chip, const char* name) {
  FakeChip* c = fakeChip(chip);
  if (c == nullptr) return real<gpiod_line* (*)(gpiod_chip*, const char*)>("gpiod_chip_find_line")(chip, name);
  for (unsigned i = 0; i < c->names.size() && i < c->count; ++i)
    if (c->names[i] == name) return reinterpret_cast<gpiod_line*>(&c->lines[i]);
  errno = ENOENT;
  return nullptr;
}

bool gpiod_line_is_used(gpiod_line* line) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<bool (*)(gpiod_line*)>("gpiod_line_is_used")(line);
  for (unsigned offset : l->chip->used)
    if (offset == l->offset) return true;
  return false;
}

const char* gpiod_line_consumer(gpiod_line* line) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<const char* (*)(gpiod_line*)>("gpiod_line_consumer")(line);
  return gpiod_line_is_used(line) ? "fake-consumer" : nullptr;
}

int gpiod_line_request_output(gpiod_line* line, const char* consumer, int value) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr)
    return real<int (*)(gpiod_line*, const char*, int)>("gpiod_line_request_output")(line, consumer, value);
  l->requested = 1;
  setLevel(l, value);
  logLine(l, "output", value);
  return 0;
}

int gpiod_line_request_both_edges_events(gpiod_line* line, const char* consumer) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr)
    return real<int (*)(gpiod_line*, const char*)>("gpiod_line_request_both_edges_events")(line, consumer);
  l->requested = 2;
  l->events = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  logLine(l, "events", -1);
  return 0;
}

int gpiod_line_set_value(gpiod_line* line, int value) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<int (*)(gpiod_line*, int)>("gpiod_line_set_value")(line, value);
  if (l->requested != 1) {
    errno = EPERM;
    return -1;
  }
  setLevel(l, value);
  logLine(l, "set", value);
  return 0;
}

int gpiod_line_get_value(gpiod_line* line) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<int (*)(gpiod_line*)>("gpiod_line_get_value")(line);
  if (l->requested == 0) {
    errno = EPERM;
    return -1;
  }
  return levelOf(l);
}

int gpiod_line_event_get_fd(gpiod_line* line) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<int (*)(gpiod_line*)>("gpiod_line_event_get_fd")(line);
  if (l->requested != 2) {
    errno = EPERM;
    return -1;
  }
  return l->events;
}

int gpiod_line_event_wait(gpiod_line* line, const struct timespec* timeout) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<int (*)(gpiod_line*, const struct timespec*)>("gpiod_line_event_wait")(line, timeout);
  uint64_t pending = 0;
  // Peek: an eventfd cannot be peeked, so a read that finds something puts it back.
  if (::syscall(SYS_read, l->events, &pending, sizeof pending) == sizeof pending) {
    ::syscall(SYS_write, l->events, &pending, sizeof pending);
    return 1;
  }
  return 0;
}

int gpiod_line_event_read(gpiod_line* line, gpiod_line_event* event) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<int (*)(gpiod_line*, gpiod_line_event*)>("gpiod_line_event_read")(line, event);
  uint64_t pending = 0;
  if (::syscall(SYS_read, l->events, &pending, sizeof pending) != sizeof pending) return -1;
  *event = gpiod_line_event{};
  event->event_type = levelOf(l) != 0 ? GPIOD_LINE_EVENT_RISING_EDGE : GPIOD_LINE_EVENT_FALLING_EDGE;
  return 0;
}

void gpiod_line_release(gpiod_line* line) {
  FakeLine* l = fakeLine(line);
  if (l == nullptr) return real<void (*)(gpiod_line*)>("gpiod_line_release")(line);
  logLine(l, "release", -1);
  l->requested = 0;
  if (l->events >= 0) ::syscall(SYS_close, l->events);
  l->events = -1;
}

}  // extern "C"
