#include "web/status_text.h"

#include <algorithm>
#include <cstdio>

#include "sip/json_text.h"

namespace qm::web {

namespace {

const char* boolean(bool b) {
  return b ? "true" : "false";
}

// A label value: backslash, double quote and line feed escaped; other control characters left out.
std::string labelValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      out += c;
    }
  }
  return out;
}

std::string number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", value);
  return buffer;
}

}  // namespace

double transmitSeconds(const NodeStatus& s, std::int64_t nowMs) {
  std::int64_t ms = s.transmitMsDone;
  if (s.ptt && s.pttSinceMs > 0) ms += std::max<std::int64_t>(0, nowMs - s.pttSinceMs);
  return static_cast<double>(ms) / 1000.0;
}

std::string statusMembers(const NodeStatus& s, std::int64_t nowMs) {
  std::string j;
  j += "\"callsign\":" + jsonQuote(s.callsign);
  j += ",\"ptt\":" + std::string(boolean(s.ptt));
  j += ",\"pttBy\":" + jsonQuote(s.pttBy);
  j += ",\"pttSeconds\":" +
       number(s.ptt && s.pttSinceMs > 0 ? std::max<std::int64_t>(0, nowMs - s.pttSinceMs) / 1000.0 : 0);
  j += ",\"carrier\":" + std::string(boolean(s.carrier));
  j += ",\"dtmfControl\":" + std::string(boolean(s.dtmfControl));
  j += ",\"inhibit\":" + std::string(boolean(s.inhibit));
  j += ",\"timeoutCounter\":" + jsonQuote(s.timeoutCounter);
  if (s.call)
    j += ",\"call\":{\"number\":" + jsonQuote(s.call->number) + ",\"state\":" + jsonQuote(s.call->state) +
         ",\"duration\":" + std::to_string(s.call->duration) + ",\"incoming\":" + boolean(s.call->incoming) + "}";
  else
    j += ",\"call\":null";
  j += ",\"stations\":[";
  for (std::size_t i = 0; i < s.stations.size(); ++i) j += (i ? "," : "") + jsonQuote(s.stations[i]);
  j += "]";
  j += ",\"directory\":" + jsonQuote(s.directory);
  j += ",\"problem\":" + jsonQuote(s.problem);
  j += ",\"transmitSeconds\":" + number(transmitSeconds(s, nowMs));
  if (s.levels)
    j += ",\"levels\":{\"radioIn\":" + std::to_string(s.levels->radioIn) +
         ",\"radioOut\":" + std::to_string(s.levels->radioOut) + ",\"callIn\":" + std::to_string(s.levels->callIn) +
         ",\"callOut\":" + std::to_string(s.levels->callOut) + "}";
  else
    j += ",\"levels\":null";
  j += ",\"registration\":" + jsonQuote(s.registration);
  return j;
}

std::string statusJson(const NodeStatus& s, std::int64_t nowMs) {
  return "{" + statusMembers(s, nowMs) + "}";
}

std::string metricsText(const NodeStatus& s, std::int64_t nowMs) {
  std::string m;
  auto metric = [&](const char* name, const char* type, const char* help) {
    m += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  };
  metric("quillmere_ptt", "gauge", "1 while the transmitter is keyed.");
  m += "quillmere_ptt " + std::string(s.ptt ? "1" : "0") + "\n";
  metric("quillmere_carrier", "gauge", "1 while the radio's carrier is present.");
  m += "quillmere_carrier " + std::string(s.carrier ? "1" : "0") + "\n";
  metric("quillmere_transmit_inhibit", "gauge", "1 while the transmitter inhibit is on.");
  m += "quillmere_transmit_inhibit " + std::string(s.inhibit ? "1" : "0") + "\n";
  metric("quillmere_dtmf_control", "gauge", "1 while DTMF control is on.");
  m += "quillmere_dtmf_control " + std::string(s.dtmfControl ? "1" : "0") + "\n";
  metric("quillmere_transmit_seconds_total", "counter", "Seconds the transmitter has been keyed since the start.");
  m += "quillmere_transmit_seconds_total " + number(transmitSeconds(s, nowMs)) + "\n";
  metric("quillmere_calls_total", "counter", "Phone calls that have ended, by result.");
  for (const auto& [result, count] : s.callResults)
    m += "quillmere_calls_total{result=\"" + labelValue(result) + "\"} " + std::to_string(count) + "\n";
  metric("quillmere_incoming_calls_total", "counter", "Calls from the telephone that have ended, by result.");
  for (const auto& [result, count] : s.incomingResults)
    m += "quillmere_incoming_calls_total{result=\"" + labelValue(result) + "\"} " + std::to_string(count) + "\n";
  metric("quillmere_call_active", "gauge", "1 while a phone call is in progress.");
  m += "quillmere_call_active " + std::string(s.call ? "1" : "0") + "\n";
  metric("quillmere_dtmf_strings_total", "counter", "DTMF strings heard since the start.");
  m += "quillmere_dtmf_strings_total " + std::to_string(s.dtmfStrings) + "\n";
  metric("quillmere_stations", "gauge", "Stations connected.");
  m += "quillmere_stations " + std::to_string(s.stations.size()) + "\n";
  if (!s.directory.empty()) {
    metric("quillmere_directory_listed", "gauge", "1 while the EchoLink directory lists the node (online or busy).");
    const bool listed = s.directory == "directory: online" || s.directory == "directory: busy";
    m += "quillmere_directory_listed " + std::string(listed ? "1" : "0") + "\n";
  }
  if (!s.registration.empty()) {
    metric("quillmere_sip_registered", "gauge", "1 while the SIP account is registered with its provider.");
    m += "quillmere_sip_registered " + std::string(s.registration == "registered" ? "1" : "0") + "\n";
  }
  if (!s.audioOverruns.empty()) {
    metric("quillmere_audio_overruns_total", "counter",
           "Audio periods lost since the start, by kind: the sound server's xruns, receive audio dropped on a full "
           "ring, transmit audio run dry.");
    for (const auto& [kind, count] : s.audioOverruns)
      m += "quillmere_audio_overruns_total{kind=\"" + labelValue(kind) + "\"} " + std::to_string(count) + "\n";
  }
  metric("quillmere_problem", "gauge", "1 while a problem is shown to the operator.");
  m += "quillmere_problem " + std::string(s.problem.empty() ? "0" : "1") + "\n";
  metric("quillmere_info", "gauge", "The node's callsign.");
  m += "quillmere_info{callsign=\"" + labelValue(s.callsign) + "\"} 1\n";
  return m;
}

}  // namespace qm::web
