#pragma once
// The EchoLink network plugged into the radio node: reads quillmere_echolink.ini on the node's thread and, when it is
// enabled, runs an EchoLinkNetwork there whose events reach the node as a NetworkPort's host calls.
#include <filesystem>
#include <functional>
#include <string>

#include "radio/network_port.h"

namespace qm::echolink_net {

// `callsign` is asked for on the node's thread when the network is made (it may change until then).
radio::NetworkFactory echoLinkNetworkFactory(std::filesystem::path settingsFile, std::function<std::string()> callsign);

}  // namespace qm::echolink_net
