#include "sip/sip_settings.h"

#include "platform/settings_binding.h"
#include "platform/vb_text.h"

namespace qm {
namespace {

bool hasBlankOr(const std::string& s, const std::string& forbidden) {
  for (char c : s)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || forbidden.find(c) != std::string::npos) return true;
  return false;
}

bool allOf(const std::string& s, bool (*ok)(char)) {
  for (char c : s)
    if (!ok(c)) return false;
  return !s.empty();
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}
bool hostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || digit(c) || c == '.' || c == '-';
}
bool driverChar(char c) {
  return (c >= 'a' && c <= 'z') || digit(c) || c == '_';
}

bool portText(const std::string& s, bool zeroAllowed) {
  if (!allOf(s, digit) || s.size() > 5) return false;
  int port = std::stoi(s);
  return port <= 65535 && (zeroAllowed || port > 0);
}

// "host" or "host:port", the host a name or an IPv4 address.
bool hostAndPort(const std::string& s) {
  auto colon = s.find(':');
  std::string host = s.substr(0, colon);
  if (!allOf(host, hostChar) || host.front() == '.' || host.front() == '-') return false;
  return colon == std::string::npos || portText(s.substr(colon + 1), false);
}

// The part of a sip: or sips: address after the scheme and before any parameter.
std::string addressPart(const std::string& uri) {
  std::string rest = uri.substr(uri.find(':') + 1);
  return rest.substr(0, rest.find(';'));
}

bool sipScheme(const std::string& uri) {
  return startsWith(uri, "sip:") || startsWith(uri, "sips:");
}

// The host of ListenAddress, without brackets; empty when it names no specific address.
std::string listenHost(const std::string& listen) {
  if (listen.empty()) return "";
  std::string host;
  if (listen.front() == '[')
    host = listen.substr(1, listen.find(']') - 1);
  else
    host = listen.substr(0, listen.rfind(':'));
  if (host == "0.0.0.0" || host == "::" || host.empty()) return "";
  return host;
}

}  // namespace

namespace {

std::string accountProblem(const std::string& v) {
  if (v.empty()) return "";
  if (!sipScheme(v) || hasBlankOr(v, "<>\";,")) return "is not a sip: address without blanks";
  std::string address = addressPart(v);
  auto at = address.find('@');
  if (at == std::string::npos || at == 0) return "has no user@ before the domain";
  if (!hostAndPort(address.substr(at + 1))) return "has no valid domain after the @";
  return "";
}

std::string credentialProblem(const std::string& v) {
  return hasBlankOr(v, ";") ? "cannot hold blanks or \";\" (baresip would cut it there)" : "";
}

std::string outboundProblem(const std::string& v) {
  if (v.empty()) return "";
  if (!sipScheme(v) || hasBlankOr(v, "<>\"") || !hostAndPort(addressPart(v).substr(addressPart(v).find('@') + 1)))
    return "is not a sip: address of a proxy";
  return "";
}

std::string accountOptionsProblem(const std::string& v) {
  if (v.empty()) return "";
  if (v.front() != ';' || hasBlankOr(v, "<>")) return "must be \";name=value\" parameters without blanks";
  return "";
}

std::string prefixProblem(const std::string& v) {
  return v.empty() || v == "+" || allOf(v, digit) ? "" : "is neither + nor digits";
}

std::string domainProblem(const std::string& v) {
  return v.empty() || hostAndPort(v) ? "" : "is not a domain name";
}

std::string driverProblem(const std::string& v) {
  return allOf(v, driverChar) ? "" : "is not a baresip audio module name (alsa, pulse ...)";
}

std::string deviceProblem(const std::string& v) {
  return !v.empty() && !hasBlankOr(v, "#") ? "" : "must be a device name without blanks or \"#\"";
}

std::string listenProblem(const std::string& v) {
  if (v.empty()) return "";
  if (v.front() == '[') {
    auto close = v.find("]:");
    bool ok = close != std::string::npos && close > 1 && portText(v.substr(close + 2), false) &&
              v.substr(1, close - 1).find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
    return ok ? "" : "is not [IPv6 ADDRESS]:PORT";
  }
  auto colon = v.rfind(':');
  if (colon == std::string::npos || !portText(v.substr(colon + 1), false)) return "is not ADDRESS:PORT";
  std::string host = v.substr(0, colon);
  int parts = 0;
  std::size_t from = 0;
  for (;;) {
    auto dot = host.find('.', from);
    std::string part = host.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
    if (!allOf(part, digit) || part.size() > 3 || std::stoi(part) > 255) return "is not ADDRESS:PORT";
    ++parts;
    if (dot == std::string::npos) break;
    from = dot + 1;
  }
  return parts == 4 ? "" : "is not ADDRESS:PORT";
}

std::string controlPortProblem(const std::string& v) {
  return portText(v, true) ? "" : "is not a port number from 0 to 65535";
}

std::string pathProblem(const std::string& v) {
  return v.empty() || hasBlankOr(v, "#") ? "must be a path without blanks" : "";
}

using S = SipSettings;

const BoundSettings<S>& bound() {
  static const BoundSettings<S> table(
      kSipSettingsFile,
      "Real calls through baresip (--skype sip): the SIP account, the dial plan and the sound devices. In the "
      "program folder; it holds a password, so keep it readable by the node's user only.",
      {
          {&S::account,
           {.name = "Account",
            .help = "your SIP address at the provider; empty: no provider, calls go straight to the SIP addresses "
                    "dialled",
            .check = accountProblem,
            .example = "sip:4930123456@sip.provider.example"}},
          {&S::authUser,
           {.name = "AuthUser",
            .help = "the user name the provider asks for; empty: the account's user",
            .check = credentialProblem,
            .example = "4930123456"}},
          {&S::password,
           {.name = "Password",
            .help = "the password the provider gives you",
            .check = credentialProblem,
            .secret = true,
            .example = "your-sip-password"}},
          {&S::registerAccount,
           {.name = "Register",
            .kind = SettingKind::Choice,
            .choices = {"0", "1"},
            .help = "1 registers the account with the provider; 0 does not"}},
          // A provider that restarts forgets its bindings and is not heard from until the next registration: this
          // interval bounds that time (baresip renews at nine tenths of what the provider grants).
          {&S::registerInterval,
           {.name = "RegisterInterval",
            .kind = SettingKind::Whole,
            .min = 10,
            .max = 86400,
            .unit = "seconds",
            .help = "how long a registration lasts before it is renewed; a provider that restarted and forgot it "
                    "knows the node again within this time (the provider may grant a different one)"}},
          {&S::outbound,
           {.name = "Outbound",
            .help = "an outbound proxy, if the provider asks for one; empty: none",
            .check = outboundProblem,
            .example = "sip:proxy.example;transport=tcp"}},
          {&S::accountOptions,
           {.name = "AccountOptions",
            .help = "more baresip account parameters, each ;name=value",
            .check = accountOptionsProblem,
            .example = ";transport=tcp"}},
          {&S::dialPattern,
           {.name = "DialPattern",
            .help = "the SIP address for phone numbers, {number} standing for the number; empty: sip:{number}@ the "
                    "account's domain",
            .check = numberPatternProblem,
            .example = "sip:{number}@sip.provider.example"}},
          {&S::internationalPrefix,
           {.name = "InternationalPrefix",
            .help = "what a leading + or 00 of a number becomes (+, 00, 011 ...); empty: kept as dialled",
            .check = prefixProblem,
            .example = "00"}},
          {&S::nameDomain,
           {.name = "NameDomain",
            .help = "where names are called, sip:NAME@NameDomain; empty: the account's domain",
            .check = domainProblem}},
          {&S::audioDriver,
           {.name = "AudioDriver",
            .help = "baresip's audio module: alsa, pulse, portaudio, jack ...; with the radio node always jack",
            .check = driverProblem}},
          {&S::inputDevice,
           {.name = "InputDevice",
            .help = "the sound device that carries the radio's receive audio to the call (arecord -L lists them)",
            .check = deviceProblem,
            .example = "plughw:CARD=Device,DEV=0"}},
          {&S::outputDevice,
           {.name = "OutputDevice",
            .help = "the sound device that carries the call to the radio's transmit audio (aplay -L lists them)",
            .check = deviceProblem,
            .example = "plughw:CARD=Device,DEV=0"}},
          {&S::listenAddress,
           {.name = "ListenAddress",
            .help = "where SIP listens, ADDRESS:PORT; a specific address carries the media too; empty: any",
            .check = listenProblem,
            .example = "192.0.2.10:5060"}},
          {&S::controlPort,
           {.name = "ControlPort",
            .kind = SettingKind::Whole,
            .max = 65535,
            .help = "baresip's control port on 127.0.0.1; 0: a free port at each start",
            .check = controlPortProblem}},
          {&S::program, {.name = "Program", .help = "the baresip program (found on the PATH)", .check = pathProblem}},
          {&S::modulePath, {.name = "ModulePath", .help = "the folder of baresip's modules", .check = pathProblem}},
      });
  return table;
}

}  // namespace

const SettingsTable& sipSettingsTable() {
  return bound().table();
}

std::string sipSettingProblem(const std::string& key, const std::string& v) {
  return sipSettingsTable().problem(key, v);
}

SipSettings readSipSettings(const ProfileFile& file, const std::string& fileName, std::vector<std::string>& problems) {
  return bound().read(file, fileName, problems);
}

SipSettings readSipSettings(const std::filesystem::path& path, std::vector<std::string>& problems) {
  return readSipSettings(ProfileFile::load(path, problems), path.string(), problems);
}

std::string SipSettings::accountDomain() const {
  if (account.empty()) return "";
  std::string address = addressPart(account);
  std::string host = address.substr(address.find('@') + 1);
  return host.substr(0, host.find(':'));
}

DialPlan SipSettings::dialPlan() const {
  return {dialPattern, internationalPrefix, nameDomain.empty() ? accountDomain() : nameDomain};
}

bool SipSettings::agentDiffers(const SipSettings& o) const {
  // The account line counts too: one that registers is given to baresip over its control channel, not in its files.
  return baresipConfig(*this, 0) != baresipConfig(o, 0) || baresipAccounts(*this) != baresipAccounts(o) ||
         baresipAccountLine(*this) != baresipAccountLine(o) || program != o.program || controlPort != o.controlPort;
}

std::string baresipConfig(const SipSettings& s, int controlPort) {
  std::string c;
  auto line = [&c](const std::string& key, const std::string& value) {
    c += key;
    c += std::string(key.size() < 16 ? 16 - key.size() : 1, ' ');
    c += value + "\n";
  };
  c += "# Written by Quillmere each time it starts baresip: change quillmere_sip.ini instead.\n";
  line("poll_method", "epoll");
  line("module_path", s.modulePath);
  if (!s.listenAddress.empty()) line("sip_listen", s.listenAddress);
  // SIP bound to one address: the media goes there too, so nothing is sent from elsewhere.
  if (auto host = listenHost(s.listenAddress); !host.empty()) line("net_interface", host);
  line("call_local_timeout", "120");
  line("call_max_calls", "1");
  if (s.onJack()) {
    // JACK carries float samples at the server's rate, one channel.
    line("audio_player", "jack,call");
    line("audio_source", "jack,call");
    line("audio_alert", "jack,call");
    // With the radio node, the node links each call's ports; by hand, baresip links them to the system's ports.
    line("jack_connect_ports", s.jackClient.empty() ? "yes" : "no");
    line("jack_client_name", s.jackClient.empty() ? "baresip" : s.jackClient);
    for (const char* dir : {"ausrc", "auplay"}) {
      line(std::string(dir) + "_format", "float");
      line(std::string(dir) + "_srate", std::to_string(s.jackRate));
      line(std::string(dir) + "_channels", "1");
    }
  } else {
    line("audio_player", s.audioDriver + "," + s.outputDevice);
    line("audio_source", s.audioDriver + "," + s.inputDevice);
    line("audio_alert", s.audioDriver + "," + s.outputDevice);
  }
  line("statmode_default", "off");
  line("ctrl_tcp_listen", "127.0.0.1:" + std::to_string(controlPort));
  line("module", "g711.so");
  line("module", "g722.so");
  line("module", "opus.so");
  line("module", (s.onJack() ? std::string("jack") : s.audioDriver) + ".so");
  line("module_tmp", "account.so");
  line("module_app", "menu.so");
  line("module_app", "ctrl_tcp.so");
  return c;
}

std::string baresipAccounts(const SipSettings& s) {
  std::string a = "# Written by Quillmere each time it starts baresip: change quillmere_sip.ini instead.\n";
  // An account that registers is added once Quillmere's control connection is open (sip_registration.h).
  if (s.registers()) return a + "# The account is added by Quillmere over the control channel.\n";
  return a + baresipAccountLine(s) + "\n";
}

std::string baresipAccountLine(const SipSettings& s) {
  std::string a;
  bool local = s.account.empty();
  a += "<" + (local ? std::string(SipSettings::kLocalAccount) : s.account) + ">";
  if (!local && !s.authUser.empty()) a += ";auth_user=" + s.authUser;
  if (!local && !s.password.empty()) a += ";auth_pass=" + s.password;
  if (!local && !s.outbound.empty()) a += ";outbound=\"" + s.outbound + "\"";
  a += ";answermode=manual";
  a += ";regint=" + std::to_string(!local && s.registerAccount ? s.registerInterval : 0);
  if (!local) a += s.accountOptions;
  return a;
}

}  // namespace qm
