#include "platform/profile_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

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

ProfileFile ProfileFile::load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream buf;
  buf << in.rdbuf();
  return parse(buf.str());
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

void ProfileFile::write(std::string_view section, std::string_view key, std::string_view value) {
  std::string entry = std::string(trimBlanks(key)) + "=" + std::string(value);
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
    lines_[*k].content = std::string(kv->key) + "=" + std::string(value);
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

std::optional<std::string> ProfileFile::save(const std::filesystem::path& path) const {
  auto fail = [&](const std::string& what, int err) {
    return "Could not save " + path.string() + ": " + what + " (" + std::strerror(err) + ")";
  };
  std::string content = text();
  std::filesystem::path dir = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::random_device rd;
  std::string tmpName = ".";
  tmpName.append(path.filename().string()).append(".tmp").append(std::to_string(rd() % 1000000));
  std::filesystem::path tmp = dir / tmpName;
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return fail("cannot create a temporary file in " + dir.string(), errno);
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      return fail("write failed", err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return fail("write failed", err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
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
