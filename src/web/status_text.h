#pragma once
// The node's status as the outside reads it: JSON for the web page and /api/status, and the Prometheus text format
// for /metrics. Every text a station or a caller sent is escaped here, once.
#include <cstdint>
#include <string>

#include "control/node_status.h"

namespace qm::web {

// The status object's members ("callsign", "ptt", "carrier", "dtmfControl", "call", "stations", ...) without braces,
// so a message can put its "type" first. `nowMs`: the wall clock, for the keyed time.
std::string statusMembers(const NodeStatus& status, std::int64_t nowMs);
std::string statusJson(const NodeStatus& status, std::int64_t nowMs);
// The Prometheus text exposition (version 0.0.4).
std::string metricsText(const NodeStatus& status, std::int64_t nowMs);
// The transmitter's keyed time in total, the keying under way included.
double transmitSeconds(const NodeStatus& status, std::int64_t nowMs);

}  // namespace qm::web
