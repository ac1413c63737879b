#pragma once
// quillmere --add-user NAME --role ROLE (the password as one line on standard input) and --remove-user NAME.
#include <filesystem>
#include <iosfwd>

namespace qm {
struct Options;
}

namespace qm::web {

// The exit status: 0 done, 1 it could not be done (a line on `err` says why).
int runUserCommand(const Options& options, const std::filesystem::path& machineFolder, std::istream& in,
                   std::ostream& out, std::ostream& err);

}  // namespace qm::web
