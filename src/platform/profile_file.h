#pragma once
// Settings files in the Windows profile ("ini") format, with the semantics of GetPrivateProfileString and
// WritePrivateProfileString: section and key matched without regard to case, the first of two equal sections or keys
// wins, blanks around a value and one pair of outer quotes stripped, values cut to 255 characters, the default only
// when the key is absent. A write changes only its own line and keeps every other line as it was; it adds a missing
// section at the end and creates a missing file; a UTF-8 byte-order mark at the start is kept. Saving replaces the file
// atomically (temporary file, then rename), so a failed save leaves the old file intact.
//
// Reading never blocks and never takes more than kProfileFileLimit bytes: a FIFO, a device or a folder in a settings
// file's place is refused, a longer file is read up to the last line break within the limit. A file that could not
// be read whole is never replaced by a save, so nothing the operator keeps in it is lost. A save writes through a
// symbolic link to its target and keeps the file's mode and owner.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

constexpr std::size_t kProfileValueLimit = 255;  // a 256-character read buffer holds 255 characters
// A settings file holds a few kilobytes; 4 MiB is far beyond any the program writes, and still takes a file with a
// megabyte line or two of junk whole.
constexpr std::size_t kProfileFileLimit = 4 * 1024 * 1024;

class ProfileFile {
 public:
  // The file's content, or an empty document when it is missing or unreadable. What kept it from being read whole
  // is in readProblem().
  static ProfileFile load(const std::filesystem::path& path);
  // The same, with readProblem() (when there is one) appended to `problems`.
  static ProfileFile load(const std::filesystem::path& path, std::vector<std::string>& problems);
  static ProfileFile parse(std::string_view text);

  // The key's value (cut to 255 characters), or nothing when the section or key is absent.
  std::optional<std::string> get(std::string_view section, std::string_view key) const;
  // GetPrivateProfileString: the value, or `fallback` (also cut to 255) when absent.
  std::string read(std::string_view section, std::string_view key, std::string_view fallback) const;
  // WritePrivateProfileString: replace the key's value, or add the key (and the section).
  void write(std::string_view section, std::string_view key, std::string_view value);

  std::string text() const;
  // Writes the document to `path` atomically; on failure returns a message naming the file and the reason. A file
  // that does not exist yet is created with `newFileMode`; an existing one keeps its mode and owner.
  std::optional<std::string> save(const std::filesystem::path& path, mode_t newFileMode = 0666) const;

  // Why the file this document was loaded from was not read whole (naming the file, the reason and what was used
  // instead); empty when it was read whole or did not exist.
  const std::string& readProblem() const { return readProblem_; }

 private:
  struct Line {
    std::string content;
    std::string end;  // "\r\n", "\n", "\r" or "" on an unterminated last line
  };
  std::optional<std::size_t> findSection(std::string_view section) const;
  std::optional<std::size_t> findKey(std::size_t sectionLine, std::string_view key) const;
  std::string newLineEnd() const;

  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  bool byteOrderMark_ = false;  // the file starts with one; not part of the first line
  std::vector<Line> lines_;
  std::string readProblem_;
  bool partial_ = false;  // loaded from a file that was not read whole: a save would lose the rest
};

// Reads one value straight from a file, as GetPrivateProfileString does.
std::string readProfileString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                              std::string_view fallback);

}  // namespace qm
