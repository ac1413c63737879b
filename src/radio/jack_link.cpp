#include "radio/jack_link.h"

#include <algorithm>

#include "radio/radio_settings.h"

namespace qm::radio {

namespace {

using std::chrono::milliseconds;

constexpr int kLongestBackoffSeconds = 60;
constexpr milliseconds kServerPoll{200};         // how often a server that was started is looked for
constexpr std::chrono::seconds kServerWait{10};  // how long it is given to come up
constexpr milliseconds kStallAfter{1000};        // a server that has not run a cycle for this long has frozen

}  // namespace

JackLink::JackLink(AudioPort& port, const MonotonicClock& clock, Settings settings)
    : port_(port), clock_(clock), settings_(std::move(settings)) {}

void JackLink::connect() {
  retryAt_.reset();
  std::string why;
  if (port_.open("quillmere", why)) return connected();
  const std::string& command = settings_.serverCommand;
  if (command.empty())
    return failed("JACK: " + why + ", and JackServer in " + std::string(kRadioSettingsFile) +
                  " is empty, so none is started");
  if (!server_.running() && !serverWaitUntil_) {
    std::string startError;
    if (!server_.start(command, startError))
      return failed("JACK: " + why + ", and JackServer could not be started: " + startError);
    serverWaitUntil_ = clock_.now() + kServerWait;
    state_ = State::StartingServer;
    return retryIn(kServerPoll);
  }
  if (serverWaitUntil_ && server_.running() && clock_.now() < *serverWaitUntil_) return retryIn(kServerPoll);
  std::string words = server_.lastWords();
  serverWaitUntil_.reset();
  server_.stop();
  failed("JACK: " + why + "; the server started with JackServer \"" + command + "\" did not come up (" + words + ")");
}

void JackLink::service() {
  if (retryAt_ && clock_.now() >= *retryAt_) connect();
  server_.drain();
}

void JackLink::failed(const std::string& text) {
  state_ = State::BackingOff;
  const std::string told = text + "; the radio has no audio until it is reachable (trying again with back-off up to " +
                           std::to_string(kLongestBackoffSeconds) + " s)";
  if (!reported_ && !(settle && settle(told)) && problem) problem(told);
  reported_ = true;
  retryIn(std::chrono::seconds(backoffSeconds_));
  backoffSeconds_ = std::min(backoffSeconds_ * 2, kLongestBackoffSeconds);
}

void JackLink::retryIn(milliseconds delay) {
  retryAt_ = clock_.now() + delay;
}

void JackLink::connected() {
  state_ = State::Online;
  serverWaitUntil_.reset();
  lastCycles_ = port_.cycles();
  movedAt_ = clock_.now();
  backoffSeconds_ = 1;
  const int rate = port_.sampleRate();
  if (up) up(rate);
  std::string error;
  if (!port_.connectRadio(settings_.capturePort, settings_.playbackPort, error) && problem) problem(error);
  if (settle) settle("");
  if (reported_ && problem) problem("JACK: connected again (" + std::to_string(rate) + " Hz)");
  reported_ = false;
}

void JackLink::lost() {
  if (!port_.isOpen()) return;
  port_.close();
  state_ = State::BackingOff;
  if (problem) problem("JACK: the server went away; the radio has no audio until it is back (reconnecting)");
  reported_ = true;
  if (gone) gone();
  retryIn(std::chrono::seconds(1));
  backoffSeconds_ = 2;
}

bool JackLink::stalled() {
  if (!port_.isOpen()) return false;
  const auto now = clock_.now();
  if (const std::uint64_t cycles = port_.cycles(); cycles != lastCycles_) {
    lastCycles_ = cycles;
    movedAt_ = now;
    if (state_ == State::Frozen && problem) problem("JACK: the server moves audio again");
    state_ = State::Online;
    return false;
  }
  const auto periods = milliseconds(4000 * static_cast<long>(port_.period()) / std::max(1, port_.sampleRate()));
  if (state_ != State::Frozen && now - movedAt_ >= std::max<milliseconds>(kStallAfter, periods)) {
    state_ = State::Frozen;
    if (problem)
      problem(
          "JACK: the server has moved no audio for a second; the transmitter is released, and keys again only once "
          "nothing asks for it");
  }
  return state_ == State::Frozen;
}

}  // namespace qm::radio
