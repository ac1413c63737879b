#include "app/settings_file.h"

#include "app/backends.h"
#include "app/program.h"
#include "platform/prompter.h"
#include "platform/vb_text.h"

namespace qm {

SettingsReader::SettingsReader(Program& program, std::filesystem::path path, std::string procedure)
    : program_(program), path_(std::move(path)), procedure_(std::move(procedure)), file_(ProfileFile::load(path_)) {
  if (!file_.readProblem().empty())
    program_.backends().prompter.show(file_.readProblem(), "", BoxIcon::Warning, BoxButtons::Ok);
}

std::string SettingsReader::text(const std::string& key, const std::string& fallback) const {
  return file_.read("SETTINGS", key, fallback);
}

std::int64_t SettingsReader::integer(const std::string& key, std::int64_t fallback, std::int64_t min,
                                     std::int64_t max) const {
  auto stored = file_.get("SETTINGS", key);
  if (!stored) return fallback;
  auto v = parseInteger(*stored);
  if (v && *v >= min && *v <= max) return *v;
  reportBad(key, *stored, "is not a whole number from " + std::to_string(min) + " to " + std::to_string(max),
            std::to_string(fallback));
  return fallback;
}

void SettingsReader::reportBad(const std::string& key, const std::string& value, const std::string& why,
                               const std::string& used) const {
  program_.internalError(procedure_, path_.string() + ": the value \"" + value + "\" of " + key + " " + why +
                                         "; using \"" + used + "\" instead.");
}

SettingsWriter::SettingsWriter(Program& program, std::filesystem::path path, mode_t newFileMode)
    : program_(program), path_(std::move(path)), newFileMode_(newFileMode), file_(ProfileFile::load(path_)) {}

bool SettingsWriter::finish() {
  if (auto error = file_.save(path_, newFileMode_)) {
    program_.backends().prompter.show(*error + "\r\nThe settings are still in the window; nothing was changed on disk.",
                                      "", BoxIcon::Warning, BoxButtons::Ok);
    return false;
  }
  return true;
}

}  // namespace qm
