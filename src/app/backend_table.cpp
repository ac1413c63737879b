#include "app/backend_table.h"

namespace qm {

const std::vector<BackendRow>& backendRows() {
  static const std::vector<BackendRow> rows{
      {BackendRole::Node, "sim", true, "the SIMULATED node"},
      {BackendRole::Node, "radio", false, "the radio"},
      {BackendRole::Telephone, "sim", true, "the SIMULATED telephone"},
      {BackendRole::Telephone, "sip", false, "SIP calls"},
      {BackendRole::Voice, "espeak", false, "espeak-ng"},
      {BackendRole::Voice, "estimate", true, "the estimate voice"},
  };
  return rows;
}

const BackendRow* findBackend(BackendRole role, std::string_view name) {
  for (const BackendRow& row : backendRows())
    if (row.role == role && row.name == name) return &row;
  return nullptr;
}

std::vector<std::string> backendNames(BackendRole role) {
  std::vector<std::string> names;
  for (const BackendRow& row : backendRows())
    if (row.role == role) names.emplace_back(row.name);
  return names;
}

std::string unknownBackend(BackendRole role, const std::string& name) {
  const char* what = role == BackendRole::Node        ? "node backend"
                     : role == BackendRole::Telephone ? "Skype backend"
                                                      : "voice";
  std::string known;
  for (const std::string& n : backendNames(role)) known += (known.empty() ? "" : ", ") + n;
  return std::string("unknown ") + what + " '" + name + "' (known: " + known + ")";
}

bool simulatedBackend(BackendRole role, std::string_view name) {
  const BackendRow* row = findBackend(role, name);
  return row == nullptr || row->simulated;
}

}  // namespace qm
