#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "platform/vb_text.h"

namespace qm {
namespace {

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trimBlanks(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  auto close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return trimBlanks(line);
}

struct KeyValue {
  std::string_view key, value;
};

std::optional<KeyValue> keyValue(std::string_view line) {
  std::string_view t = trimBlanks(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  auto eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view value = trimBlanks(t.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return KeyValue{trimBlanks(t.substr(0, eq)), value};
}

std::string fileKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

// A line break would split the entry into lines of its own, the next read taking them as keys or sections.
std::string withoutLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// A save that was killed leaves its temporary file behind (".NAME.tmpNNNNNN"); one older than a minute belongs to no
// save still under way.
void removeStaleTemporaries(const std::filesystem::path& dir, const std::string& name) {
  const std::string prefix = "." + name + ".tmp";
  std::error_code ec;
  auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string file = entry.path().filename().string();
    if (file.size() <= prefix.size() || file.compare(0, prefix.size(), prefix) != 0) continue;
    if (file.find_first_not_of("0123456789", prefix.size()) != std::string::npos) continue;
    std::error_code timeError;
    auto written = entry.last_write_time(timeError);
    if (timeError || now - written < std::chrono::minutes(1)) continue;
    std::filesystem::remove(entry.path(), timeError);
  }
}

// The process's file creation mask, read without changing it (umask(2) can only be read by setting it, which races
// with files other threads create meanwhile).
mode_t processUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
  return 022;
}

}  // namespace

ProfileFile ProfileFile::parse(std::string_view text) {
  ProfileFile f;
  if (startsWith(text, kByteOrderMark)) {
    f.byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == std::string_view::npos) {
      f.lines_.push_back({std::string(text.substr(pos)), ""});
      break;
    }
    std::string end =
        (text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n') ? "\r\n" : std::string(1, text[brk]);
    f.lines_.push_back({std::string(text.substr(pos, brk - pos)), end});
    pos = brk + end.size();
  }
  return f;
}

ProfileFile ProfileFile::load(const std::filesystem::path& path, std::vector<std::string>& problems) {
  ProfileFile file = load(path);
  if (!file.readProblem().empty()) problems.push_back(file.readProblem());
  return file;
}

ProfileFile ProfileFile::load(const std::filesystem::path& path) {
  auto refuse = [&](const std::string& why) {
    ProfileFile f;
    f.readProblem_ = path.string() + " " + why + "; its settings are not read and the defaults are used instead.";
    f.partial_ = true;
    return f;
  };
  // Non-blocking: opening a FIFO must not wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    return refuse(std::string("cannot be read (") + std::strerror(errno) + ")");
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return refuse("is " + fileKind(st.st_mode) + ", not a settings file");
  }
  std::string text;
  text.resize(kProfileFileLimit + 1);
  std::size_t got = 0;
  while (got < text.size()) {
    ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return refuse(std::string("cannot be read (") + std::strerror(err) + ")");
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  if (got <= kProfileFileLimit) return parse(text);
  // Too long: the lines that fit whole are read, the rest is left alone.
  std::size_t keep = text.rfind('\n', kProfileFileLimit - 1);
  if (keep == std::string::npos) keep = text.rfind('\r', kProfileFileLimit - 1);
  keep = keep == std::string::npos ? 0 : keep + 1;
  text.resize(keep);
  ProfileFile f = parse(text);
  std::string size = st.st_size > 0 ? std::to_string(st.st_size) + " bytes" : "more than that";
  f.readProblem_ = path.string() + " is " + size + " long, more than a settings file may hold (" +
                   std::to_string(kProfileFileLimit) + " bytes): only its first " + std::to_string(keep) +
                   " bytes are read and the rest is ignored.";
  f.partial_ = true;
  return f;
}

std::optional<std::size_t> ProfileFile::findSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto name = sectionName(lines_[i].content);
    if (name && equalsIgnoreCase(*name, trimBlanks(section))) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ProfileFile::findKey(std::size_t sectionLine, std::string_view key) const {
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (sectionName(lines_[i].content)) break;
    auto kv = keyValue(lines_[i].content);
    if (kv && equalsIgnoreCase(kv->key, trimBlanks(key))) return i;
  }
  return std::nullopt;
}

std::optional<std::string> ProfileFile::get(std::string_view section, std::string_view key) const {
  auto s = findSection(section);
  if (!s) return std::nullopt;
  auto k = findKey(*s, key);
  if (!k) return std::nullopt;
  return firstCharacters(keyValue(lines_[*k].content)->value, kProfileValueLimit);
}

std::string ProfileFile::read(std::string_view section, std::string_view key, std::string_view fallback) const {
  if (auto v = get(section, key)) return *v;
  return firstCharacters(fallback, kProfileValueLimit);
}

std::string ProfileFile::newLineEnd() const {
  for (const auto& l : lines_)
    if (!l.end.empty()) return l.end;
  return "\r\n";
}

void ProfileFile::write(std::string_view sectionText, std::string_view keyText, std::string_view valueText) {
  const std::string sectionClean = withoutLineBreaks(sectionText), keyClean = withoutLineBreaks(keyText),
                    value = withoutLineBreaks(valueText);
  const std::string_view section = sectionClean, key = keyClean;
  std::string entry = std::string(trimBlanks(key)) + "=" + value;
  std::string end = newLineEnd();
  auto s = findSection(section);
  if (!s) {
    if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = end;
    std::string header = "[";
    header.append(trimBlanks(section)).append("]");
    lines_.push_back({header, end});
    lines_.push_back({entry, end});
    return;
  }
  if (auto k = findKey(*s, key)) {
    // Keep the key's spelling as the file has it; only the value changes.
    auto kv = keyValue(lines_[*k].content);
    lines_[*k].content = std::string(kv->key) + "=" + value;
    return;
  }
  // A new key goes after the section's last non-blank line.
  std::size_t insertAt = *s + 1;
  for (std::size_t i = *s + 1; i < lines_.size() && !sectionName(lines_[i].content); ++i)
    if (!trimBlanks(lines_[i].content).empty()) insertAt = i + 1;
  if (lines_[insertAt - 1].end.empty()) lines_[insertAt - 1].end = end;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{entry, end});
}

std::string ProfileFile::text() const {
  std::string out = byteOrderMark_ ? std::string(kByteOrderMark) : std::string();
  for (const auto& l : lines_) out += l.content + l.end;
  return out;
}

std::optional<std::string> ProfileFile::save(const std::filesystem::path& path, mode_t newFileMode) const {
  auto fail = [&](const std::string& what, int err) {
    return "Could not save " + path.string() + ": " + what + " (" + std::strerror(err) + ")";
  };
  if (partial_)
    return "Could not save " + path.string() + ": " + readProblem_ +
           " Saving would lose what the file holds, so it was left as it is.";
  std::error_code ec;
  // A link is written through: the file it names is replaced, in its own folder, and the link stays.
  std::filesystem::path target = path;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
    target = std::filesystem::weakly_canonical(path, ec);
    if (ec) return fail("cannot follow the link to its file", ec.value());
  }
  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode))
    return "Could not save " + path.string() + ": it is " + fileKind(old.st_mode) + ", not a settings file";
  std::string content = text();
  std::filesystem::path dir = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  std::filesystem::create_directories(dir, ec);
  removeStaleTemporaries(dir, target.filename().string());
  std::random_device rd;
  std::string tmpName = ".";
  tmpName.append(target.filename().string()).append(".tmp").append(std::to_string(rd() % 1000000));
  std::filesystem::path tmp = dir / tmpName;
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return fail("cannot create a temporary file in " + dir.string(), errno);
  auto abandon = [&](const std::string& what) {
    int err = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    return fail(what, err);
  };
  // The file keeps who may read it: a password in it must not become readable by all.
  if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
    return abandon("cannot keep the file's owner");
  if (::fchmod(fd, exists ? (old.st_mode & 07777) : (newFileMode & ~processUmask())) != 0)
    return abandon("cannot keep the file's mode");
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("write failed");
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return abandon("write failed");
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return fail("write failed", err);
  }
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return fail("cannot replace the file", err);
  }
  return std::nullopt;
}

std::string readProfileString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                              std::string_view fallback) {
  return ProfileFile::load(path).read(section, key, fallback);
}

}  // namespace qm
