#include "app/config_check.h"

#include <unistd.h>

#include <algorithm>

#include "access/access_settings.h"
#include "app/node_configuration.h"
#include "echolink_net/echolink_net_settings.h"
#include "platform/clock_format.h"
#include "platform/profile_file.h"
#include "platform/virtual_scheduler.h"
#include "radio/radio_settings.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"
#include "sip/sip_settings.h"

namespace qm {
namespace fs = std::filesystem;
namespace {

class NoOtherCopy : public InstanceLock {
 public:
  bool anotherCopyRunning() override { return false; }
};

// A temporary copy of a settings folder's files, removed when done.
class FolderCopy {
 public:
  explicit FolderCopy(const fs::path& from) : from_(from) {
    std::string pattern = (fs::temp_directory_path() / "quillmere-check-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(from, ec)) {
      std::error_code copyError;
      if (entry.is_regular_file(copyError) && fs::copy_file(entry.path(), path_ / entry.path().filename(), copyError))
        continue;
      // A settings file the copy could not take (unreadable, a FIFO, a device) is named as a start names it.
      const std::string name = entry.path().filename().string();
      if (name.rfind("quillmere", 0) != 0 || entry.path().extension() != ".ini") continue;
      const std::string why = ProfileFile::load(entry.path()).readProblem();
      if (!why.empty()) unread_.push_back(why);
    }
  }
  ~FolderCopy() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  const std::vector<std::string>& unread() const { return unread_; }
  // The message with the copy's path turned back into the real one.
  std::string real(std::string text) const {
    const std::string copy = path_.string(), user = from_.string();
    for (std::size_t at = text.find(copy); at != std::string::npos; at = text.find(copy, at + user.size()))
      text.replace(at, copy.size(), user);
    return text;
  }

 private:
  fs::path from_, path_;
  std::vector<std::string> unread_;
};

// A box's lines as one: CR LF, CR or LF each become a blank.
std::string oneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line.push_back(text[i] == '\r' || text[i] == '\n' ? ' ' : text[i]);
  }
  return line;
}

// The boxes the program shows while it starts and while each settings window loads.
std::vector<std::string> startProblems(const Folders& folders) {
  FolderCopy home(folders.home), machine(folders.machine);
  Scheduler::TimePoint start;
  parseLocalDateTime("2026-01-01 00:00:00", start);
  VirtualScheduler scheduler(start);
  Session session(
      scheduler, Folders{home.path(), machine.path()}, nullptr,
      [&scheduler](Session& s) -> std::unique_ptr<ProgramExit> {
        return std::make_unique<ScenarioExit>(s.transcript, [&scheduler, &s] {
          scheduler.halt();
          s.programEnded();
        });
      },
      std::make_unique<NoOtherCopy>());
  session.backends.http = nullptr;  // the usage report is not the check's business
  bool ended = false;
  runUntilEnded([&] {
    session.start();
    scheduler.runFor(std::chrono::seconds(3));
    for (const char* window : {"Buddy", "Form1", "Form21", "FormHistory"}) session.program().registry().open(window);
    scheduler.runFor(std::chrono::seconds(1));
  });
  std::vector<std::string> problems = home.unread();
  problems.insert(problems.end(), machine.unread().begin(), machine.unread().end());
  // A settings problem comes in the load's error box; the box's heading says nothing here.
  const std::string heading = "Internal Error: Form_Load ";
  for (const auto& event : session.transcript.pending("box")) {
    std::string text = home.real(machine.real(oneLine(event.arg)));
    if (text.rfind(heading, 0) == 0) text.erase(0, heading.size());
    problems.push_back(text);
  }
  ended = !session.transcript.pending("exit").empty();
  if (ended) problems.push_back("the program ends at start with these settings");
  return problems;
}

}  // namespace

namespace {

// The [INCOMING] rules of the dial rules file, and an answer code the node's own functions would take first.
void checkIncoming(const Folders& folders, const echolink_net::EchoLinkNetSettings& network, CheckReport& report) {
  const AccessSettings s = readAccessSettings(folders.inProgramFolder("quillmere_dialrules.ini"));
  if (!s.present || !s.incomingOn) {
    report.incoming.push_back("off: every call from the telephone is refused (no [INCOMING] section)");
    return;
  }
  report.incoming.push_back("answer code " + s.answerCode + ", a call rings for " + std::to_string(s.ringSeconds) +
                            " s; wrong PINs: " + std::to_string(s.wrongCodesAllowed) + " lock the caller out for " +
                            std::to_string(s.lockoutMinutes) + " min");
  for (const IncomingRule& rule : s.incoming) report.incoming.push_back(describeIncomingRule(rule));
  report.incoming.push_back("any other caller: refused");
  if (network.nodeCommands) {
    const auto& c = network.codes;
    for (const std::string& code : {c.disconnectLast, c.disconnectAll, c.reconnect, c.status})
      if (code == s.answerCode)
        report.problems.push_back("quillmere_dialrules.ini: the AnswerCode " + s.answerCode +
                                  " is also a code of the node's own functions (quillmere_echolink.ini); choose "
                                  "another.");
  }
}

}  // namespace

CheckReport checkConfiguration(const Folders& folders, const RadioCheck& radioCheck) {
  CheckReport report;
  report.problems = startProblems(folders);
  const NodeConfiguration backends = readNodeConfiguration(folders);
  report.node.push_back("node: " + backends.node + " (" + backends.nodeFrom + ")");
  report.node.push_back("telephone: " + backends.telephone + " (" + backends.telephoneFrom + ")");
  for (const std::string& warning : backends.simulatedWhileConfigured) report.node.push_back("WARNING: " + warning);
  report.problems.insert(report.problems.end(), backends.problems.begin(), backends.problems.end());
  std::vector<std::string> sip;
  if (fs::exists(folders.inProgramFolder(kSipSettingsFile)))
    readSipSettings(folders.inProgramFolder(kSipSettingsFile), sip);
  report.problems.insert(report.problems.end(), sip.begin(), sip.end());
  std::vector<std::string> echolink;
  echolink_net::EchoLinkNetSettings network;
  if (fs::exists(folders.inProgramFolder(echolink_net::kEchoLinkSettingsFile)))
    network =
        echolink_net::readEchoLinkSettings(folders.inProgramFolder(echolink_net::kEchoLinkSettingsFile), echolink);
  report.problems.insert(report.problems.end(), echolink.begin(), echolink.end());
  checkIncoming(folders, network, report);
  std::vector<std::string> radio;
  const fs::path radioPath = folders.inProgramFolder(radio::kRadioSettingsFile);
  const ProfileFile radioFile = ProfileFile::load(radioPath, radio);
  // Lines and devices named in a file that cannot be read are unknown: the defaults would key nothing.
  if (!radioFile.readProblem().empty())
    report.blockers.push_back(std::string(radio::kRadioSettingsFile) + " cannot be read");
  const radio::RadioSettings settings = radio::readRadioSettings(radioFile, radioPath.string(), radio);
  report.problems.insert(report.problems.end(), radio.begin(), radio.end());
  // A line whose name cannot be read cannot be keyed: the node must not go on the air thinking it has none.
  for (const std::string& problem : radio) {
    if (problem.find(" of Ptt ") != std::string::npos) report.blockers.push_back("Ptt names no line that exists");
    if (problem.find(" of Squelch ") != std::string::npos)
      report.blockers.push_back("Squelch names no line that exists");
  }
  radioCheck(settings, report);
  // A file the start could not read is named by the start's copy and again by the file's own reader: once is enough.
  std::vector<std::string> once;
  for (const std::string& problem : report.problems)
    if (std::find(once.begin(), once.end(), problem) == once.end()) once.push_back(problem);
  report.problems = std::move(once);
  return report;
}

int runConfigCheck(const Folders& folders, std::ostream& out, const RadioCheck& radioCheck,
                   const std::vector<std::string>& otherProblems) {
  CheckReport report = checkConfiguration(folders, radioCheck);
  report.problems.insert(report.problems.end(), otherProblems.begin(), otherProblems.end());
  out << "Settings in " << folders.home.string() << " and " << folders.machine.string() << ":\n";
  if (report.problems.empty()) out << "  no problems\n";
  for (const std::string& line : report.problems) out << "  " << line << "\n";
  out << "Backends (without --node and --skype, as the service starts):\n";
  for (const std::string& line : report.node) out << "  " << line << "\n";
  out << "Incoming calls:\n";
  for (const std::string& line : report.incoming) out << "  " << line << "\n";
  out << "Radio node:\n";
  for (const std::string& line : report.radio) out << "  " << line << "\n";
  for (const std::string& line : report.blockers) out << "  cannot go on the air: " << line << "\n";
  out << "Devices:\n";
  for (const std::string& line : report.devices) out << "  " << line << "\n";
  if (report.blockers.empty()) {
    out << "The radio node can go on the air.\n";
    return 0;
  }
  out << "The radio node could not go on the air.\n";
  return 1;
}

}  // namespace qm
