#pragma once
// Reading a window's settings file into its controls and writing it back. A value that its control cannot take is
// reported (naming the file, key and value) and replaced by the key's default, so one typo does not stop the load;
// a save that fails is reported with the file's path and leaves the old file as it was. A file that exists but
// cannot be read whole is reported when it is read, and a save never replaces it.
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/profile_file.h"

namespace qm {

class Program;

class SettingsReader {
 public:
  // `procedure` names the report: "Internal Error: " + procedure.
  SettingsReader(Program& program, std::filesystem::path path, std::string procedure);

  std::string text(const std::string& key, const std::string& fallback) const;
  // A check box value: 0, 1 or 2.
  int checkValue(const std::string& key, int fallback) const { return integer(key, fallback, 0, 2); }
  std::int64_t integer(const std::string& key, std::int64_t fallback, std::int64_t min, std::int64_t max) const;
  // Says that `value` of `key` cannot be used and `used` is used instead.
  void reportBad(const std::string& key, const std::string& value, const std::string& why,
                 const std::string& used) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  Program& program_;
  std::filesystem::path path_;
  std::string procedure_;
  ProfileFile file_;
};

class SettingsWriter {
 public:
  // `newFileMode`: the mode of a file the save creates (0600 for one holding a password).
  SettingsWriter(Program& program, std::filesystem::path path, mode_t newFileMode = 0666);
  void write(const std::string& key, const std::string& value) { file_.write("SETTINGS", key, value); }
  // Saves the file; a failure is shown to the operator. Returns whether it was saved.
  bool finish();

 private:
  Program& program_;
  std::filesystem::path path_;
  mode_t newFileMode_;
  ProfileFile file_;
};

}  // namespace qm
