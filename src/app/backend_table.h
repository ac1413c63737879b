#pragma once
// The backends a run can be given, one row each: the node, the telephone and the voice, by the name the command line
// and quillmere.ini use. The option parser, quillmere.ini's Node and Telephone keys (their choices and default),
// --check and the session builder (launch/session_builder.h, which holds what each real backend puts into a session)
// read these rows; a new backend is one row here and its factory there.
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class BackendRole { Node, Telephone, Voice };

struct BackendRow {
  BackendRole role;
  std::string_view name;
  bool simulated;         // plays the part without the real thing (nothing on the air, no real call)
  std::string_view says;  // what a service's status line calls it: "the radio", "the SIMULATED telephone"
};

const std::vector<BackendRow>& backendRows();
// The row of `name` in `role`, or null.
const BackendRow* findBackend(BackendRole role, std::string_view name);
// The names of `role`'s backends, the default first.
std::vector<std::string> backendNames(BackendRole role);
// The command line's error for a name that is none of them: "unknown node backend 'x' (known: sim, radio)".
std::string unknownBackend(BackendRole role, const std::string& name);
// True when `name` is a backend of `role` that plays its part without the real thing (the default when unknown).
bool simulatedBackend(BackendRole role, std::string_view name);

}  // namespace qm
