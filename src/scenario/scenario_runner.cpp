#include "scenario/scenario_runner.h"
#include "platform/transcript_words.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/clock_format.h"
#include "platform/profile_file.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/script.h"
#include "scenario/session_actions.h"
#include "scenario/text_pattern.h"
#include "session/session.h"
#include "speech/voice.h"

namespace qm {
namespace {

struct ExpectationFailed {
  std::string message;
};

// A settable lock: the scenario says before start whether another copy runs.
class ScenarioLock : public InstanceLock {
 public:
  bool otherRunning = false;
  bool anotherCopyRunning() override { return otherRunning; }
};

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-scenario-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string readWholeFile(const std::filesystem::path& p, bool& exists) {
  std::ifstream in(p, std::ios::binary);
  exists = static_cast<bool>(in);
  std::ostringstream s;
  if (exists) s << in.rdbuf();
  return s.str();
}

// The errors a line shows before anything runs: a wait too long or not a time, a pattern that does not parse.
void checkBeforeRun(const ScriptLine& line) {
  const auto& w = line.words;
  if (w[0] == "wait" && w.size() == 2) parseWaitTime(w[1]);
  if (w[0] == "expect" && w.size() == 4 && w[2] == "~") TextPattern{w[3]};
}

class Run {
 public:
  explicit Run(const ScenarioOptions& o)
      : options_(o),
        virtual_(Scheduler::Clock::now()),
        scheduler_(o.realTime ? *o.realTime : static_cast<Scheduler&>(virtual_)),
        session_(scheduler_, makeFolders(), o.transcript, makeExit(), makeLock(), nullptr, o.makeNode) {
    Scheduler::TimePoint start;
    parseLocalDateTime("2026-01-01 00:00:00", start);
    virtual_ = VirtualScheduler(start);
    if (o.callsign) session_.node.setCallsign(*o.callsign);
    if (o.makeVoice) {
      voice_ = o.makeVoice(scheduler_);
      if (voice_) session_.useVoice(*voice_);
    }
    session_.backends.air = o.air;
    session_.backends.reportUrl = o.reportUrl;
    if (o.noReport) session_.backends.http = nullptr;
    session_.skype.setAutoAnswer(std::nullopt);  // a placed call rings until the script answers it
    if (o.prepare) o.prepare(session_);
  }

  void execute(const ScriptLine& line) {
    const auto& w = line.words;
    const std::string& cmd = w[0];
    if (cmd == "expect") return expect(w);
    if (cmd == "wait") {
      if (w.size() != 2) throw ScriptError("'wait' takes one time");
      auto d = parseWaitTime(w[1]);
      if (!options_.realTime)
        runUntilEnded([&] { virtual_.runFor(d); });
      else if (!ended_)
        options_.passTime(d);  // the program's end stops the event loop early
      return;
    }
    if (cmd == "callsign" || cmd == "running-copy" || cmd == "clock" || cmd == "box-wait") return setUp(w);
    if (cmd == "skype" && w.size() == 2 && SimulatedSkype::parseAttachMode(w[1])) return setUp(w);
    if (cmd == "file") {
      if (w.size() != 3) throw ScriptError("'file' takes a name and a content");
      writeFile(w[1], w[2]);
      return;
    }
    session_.transcript.input(line.text.substr(line.text.find_first_not_of(" \t")));
    if (!runAction(session_, w)) throw ScriptError("unknown command '" + cmd + "'");
  }

 private:
  static Folders folders(const ScenarioOptions& o, const std::filesystem::path& h, const std::filesystem::path& m) {
    return {o.home.value_or(h), o.machine.value_or(m)};
  }
  Folders makeFolders() {
    std::filesystem::create_directories(options_.home.value_or(home_.path()));
    std::filesystem::create_directories(options_.machine.value_or(machine_.path()));
    Folders f = folders(options_, home_.path(), machine_.path());
    f.state = state_.path();
    return f;
  }
  Session::ExitFactory makeExit() {
    return [this](Session& s) -> std::unique_ptr<ProgramExit> {
      return std::make_unique<ScenarioExit>(s.transcript, [this, &s] {
        virtual_.halt();
        ended_ = true;
        s.programEnded();
      });
    };
  }
  std::unique_ptr<InstanceLock> makeLock() {
    auto lock = std::make_unique<ScenarioLock>();
    lock_ = lock.get();
    return lock;
  }

  void setUp(const std::vector<std::string>& w) {
    if (session_.started()) throw ScriptError("'" + w[0] + "' is set-up: it must come before 'start'");
    if (w[0] == "callsign") {
      if (w.size() != 2) throw ScriptError("'callsign' takes one callsign");
      session_.node.setCallsign(w[1]);
    } else if (w[0] == "running-copy") {
      if (w.size() != 1) throw ScriptError("'running-copy' takes no argument");
      lock_->otherRunning = true;
    } else if (w[0] == "box-wait") {
      // Each message box stays up this long before it is answered; the loop runs meanwhile, as under a real box.
      if (w.size() != 2) throw ScriptError("'box-wait' takes one time");
      if (options_.realTime) throw ScriptError("'box-wait' runs the virtual clock: it has no place in a real-time run");
      auto d = parseDuration(w[1]);
      session_.prompter.whileShown = [this, d] { virtual_.runFor(d); };
    } else if (w[0] == "skype") {
      if (!session_.simulatedSkype) throw ScriptError("'skype " + w[1] + "' sets up the simulated Skype client only");
      session_.skype.setAttachMode(*SimulatedSkype::parseAttachMode(w[1]));
    } else {
      if (w.size() != 2) throw ScriptError("'clock' takes \"YYYY-MM-DD HH:MM:SS\"");
      if (options_.realTime) throw ScriptError("'clock' sets the virtual clock: it has no place in a real-time run");
      Scheduler::TimePoint t;
      if (!parseLocalDateTime(w[1], t)) throw ScriptError("'clock' takes \"YYYY-MM-DD HH:MM:SS\", not " + w[1]);
      virtual_ = VirtualScheduler(t);
    }
  }

  void writeFile(const std::string& name, const std::string& content) {
    if (name.find('/') != std::string::npos) throw ScriptError("a settings file name has no folder: " + name);
    std::ofstream out(session_.backends.folders.locate(name), std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw ScriptError("cannot write " + name);
  }

  void fail(const std::string& what, const std::string& expected, const std::string& got) {
    std::string note = gaveUp_ ? " (the regular expression gave up after " + std::to_string(TextPattern::kMatchLimit) +
                                     " steps without an answer)"
                               : "";
    throw ExpectationFailed{"expected " + what + " " + expected + ", got " + got + note};
  }

  bool matches(const std::string& text, const std::string& op, const std::string& want) {
    gaveUp_ = false;
    if (op == "=") return text == want;
    TextPattern::Result r = TextPattern(want).search(text);
    gaveUp_ = r == TextPattern::Result::GaveUp;
    return r == TextPattern::Result::Match;
  }

  std::string readName(const std::string& name) {
    auto first = name.find('.');
    if (first == std::string::npos) throw ScriptError("expected WINDOW.NAME, not '" + name + "'");
    Window& w = namedWindow(session_, name.substr(0, first));
    std::string rest = name.substr(first + 1);
    auto second = rest.find('.');
    if (second != std::string::npos) {
      Control* c = w.control(rest.substr(0, second));
      if (!c) throw ScriptError("no control named '" + name.substr(0, first + 1 + second) + "'");
      auto v = c->property(rest.substr(second + 1));
      if (!v) throw ScriptError("'" + name + "': no such property");
      return *v;
    }
    if (Control* c = w.control(rest)) return c->value();
    if (auto* v = w.variable(rest)) return v->get();
    if (auto p = w.property(rest)) return *p;
    throw ScriptError("no control or variable named '" + name + "'");
  }

  void expect(const std::vector<std::string>& w) {
    if (w.size() < 2) throw ScriptError("'expect' needs something to expect");
    const std::string& what = w[1];
    if (what == "no") {
      if (w.size() != 3) throw ScriptError("'expect no' takes one kind");
      auto& q = session_.transcript.pending(w[2]);
      if (!q.empty()) fail("no " + w[2] + ",", "", Transcript::format(q.front()));
      return;
    }
    if (what == "count") {
      if (w.size() != 4) throw ScriptError("'expect count' takes a kind and a number");
      auto& q = session_.transcript.pending(w[2]);
      std::size_t n = q.size();
      q.clear();
      if (std::to_string(n) != w[3]) fail(w[3], w[2] + " events", std::to_string(n));
      return;
    }
    if (what == "ini") {
      if (w.size() != 6) throw ScriptError("'expect ini' takes a file, a section, a key and a value");
      std::string got = readProfileString(session_.backends.folders.locate(w[2]), w[3], w[4], "");
      if (got != w[5]) fail("[" + w[3] + "] " + w[4] + " of " + w[2] + " =", quote(w[5]), quote(got));
      return;
    }
    if (what == "file") {
      if (w.size() != 4) throw ScriptError("'expect file' takes a name and a content");
      bool exists;
      std::string got = readWholeFile(session_.backends.folders.locate(w[2]), exists);
      if (!exists) fail("file " + w[2] + " =", quote(w[3]), "no such file");
      if (got != w[3]) fail("file " + w[2] + " =", quote(w[3]), quote(got));
      return;
    }
    if (what.find('.') != std::string::npos) {
      if (w.size() != 4 || (w[2] != "=" && w[2] != "~"))
        throw ScriptError("expected: expect WINDOW.NAME = \"VALUE\" (or ~ \"REGEX\")");
      std::string got = readName(what);
      if (!matches(got, w[2], w[3])) fail(what + " " + w[2], quote(w[3]), quote(got));
      return;
    }
    // An output event of a kind.
    static const char* kinds[] = {"ptt", "say", "cw", "chat", "sent", "notify", "box", "http", "beep", "exit", "sip"};
    if (std::find(std::begin(kinds), std::end(kinds), what) == std::end(kinds))
      throw ScriptError("unknown expectation '" + what + "'");
    bool regex = w.size() == 4 && w[2] == "~";
    std::string want;
    for (std::size_t i = regex ? 3 : 2; i < w.size(); ++i) want += (want.empty() ? "" : " ") + w[i];
    auto& q = session_.transcript.pending(what);
    std::string shown = regex ? "~ " + quote(want) : (want.empty() ? "" : quote(want));
    if (q.empty()) fail(what, shown, "nothing");
    OutputEvent e = q.front();
    q.pop_front();
    if (matches(e.arg, regex ? "~" : "=", want)) return;
    // The argument may be followed by what the transcript shows after it: expect say "TEXT" rate N.
    if (!regex && w.size() > 3 && e.arg == w[2] && !e.extra.empty() && e.extra == transcriptWords(w, 3)) return;
    fail(what, shown, Transcript::format(e));
  }

  const ScenarioOptions& options_;
  TempFolder home_, machine_, state_;  // a scenario keeps its history log file in a state folder of its own
  ScenarioLock* lock_ = nullptr;
  bool gaveUp_ = false;  // the last pattern search reached its limits
  VirtualScheduler virtual_;
  Scheduler& scheduler_;  // the virtual one, or the wall clock's
  bool ended_ = false;
  std::unique_ptr<Voice> voice_;  // outlives the session that speaks with it
  Session session_;
};

}  // namespace

int runScenario(const ScenarioOptions& options) {
  std::ostream& err = options.errors ? *options.errors : std::cerr;
  bool exists;
  std::string text = readWholeFile(options.script, exists);
  if (!exists) {
    err << options.script.string() << ": cannot read the scenario\n";
    return 2;
  }
  std::vector<ScriptLine> lines;
  try {
    lines = parseScript(text);
  } catch (const ScriptError& e) {
    err << options.script.string() << ": " << e.what() << "\n";
    return 2;
  }
  auto where = [&](const ScriptLine& l) { return options.script.string() + ":" + std::to_string(l.number) + ": "; };
  for (const ScriptLine& line : lines) {
    try {
      checkBeforeRun(line);
    } catch (const ScriptError& e) {
      err << where(line) << e.what() << "\n";
      return 2;
    }
  }
  try {
    Run run(options);
    for (const ScriptLine& line : lines) {
      try {
        run.execute(line);
      } catch (const ScriptError& e) {
        err << where(line) << e.what() << "\n";
        return 2;
      } catch (const ExpectationFailed& e) {
        err << where(line) << e.message << "\n";
        return 1;
      } catch (const std::exception& e) {
        err << where(line) << "the program failed: " << e.what() << "\n";
        return 1;
      }
      if (options.stopReason) {
        if (std::string why = options.stopReason(); !why.empty()) {
          err << where(line) << "the run was stopped by " << why << "\n";
          return 1;
        }
      }
    }
  } catch (const std::exception& e) {
    err << options.script.string() << ": " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace qm
