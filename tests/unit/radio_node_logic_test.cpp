// The radio node's timing rules without hardware: how DTMF digits become strings, when the transmitter is keyed, and
// when a carrier held too long stops counting; and the node loop's parts against a stand-in sound server and clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "radio/audio_port.h"
#include "radio/carrier_timeout.h"
#include "radio/dtmf_collector.h"
#include "radio/jack_link.h"
#include "radio/overrun_report.h"
#include "radio/receive_path.h"
#include "radio/transmit_path.h"
#include "radio/transmitter.h"
#include "radio/tx_audio.h"
#include "radio_dsp_signals.h"

namespace qm::radio {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;
const Clock::time_point t0{};

TEST(DtmfCollector, DigitsUnderOneCarrierAreOneStringRaisedWhenItDrops) {
  DtmfCollector c(seconds(10));
  EXPECT_FALSE(c.carrier(true, t0));
  for (char d : std::string("*#123")) c.digit(d, t0 + milliseconds(100));
  EXPECT_FALSE(c.poll(t0 + seconds(5)));
  EXPECT_EQ(c.carrier(false, t0 + seconds(6)), "*#123");
  // The next carrier starts afresh; a carrier with no digits raises nothing.
  EXPECT_FALSE(c.carrier(true, t0 + seconds(7)));
  EXPECT_FALSE(c.carrier(false, t0 + seconds(8)));
  EXPECT_EQ(c.pending(), "");
}

TEST(DtmfCollector, ACarrierThatNeverDropsRaisesItsDigitsAfterTheTimeout) {
  DtmfCollector c(seconds(10));
  c.carrier(true, t0);
  c.digit('1', t0 + seconds(1));
  c.digit('2', t0 + seconds(5));
  EXPECT_FALSE(c.poll(t0 + seconds(14)));  // ten seconds from the last digit, not the first
  EXPECT_EQ(c.poll(t0 + seconds(15)), "12");
  c.digit('3', t0 + seconds(16));
  EXPECT_EQ(c.carrier(false, t0 + seconds(17)), "3");
}

TEST(DtmfCollector, ZeroTimeoutWaitsForTheDrop) {
  DtmfCollector c(seconds(0));
  c.carrier(true, t0);
  c.digit('5', t0);
  EXPECT_FALSE(c.poll(t0 + std::chrono::hours(1)));
  EXPECT_EQ(c.carrier(false, t0 + std::chrono::hours(1)), "5");
}

TEST(DtmfCollector, ADigitJustBeforeTheCarrierBelongsToItAnOlderOneIsDropped) {
  DtmfCollector c(seconds(10));
  c.digit('7', t0);  // the VOX opens after its attack time, while the first tone is already decoded
  c.carrier(true, t0 + milliseconds(100));
  c.digit('8', t0 + milliseconds(300));
  EXPECT_EQ(c.carrier(false, t0 + seconds(1)), "78");

  c.digit('9', t0 + seconds(2));  // noise with no carrier to follow
  c.carrier(true, t0 + seconds(3));
  EXPECT_FALSE(c.carrier(false, t0 + seconds(4)));
}

TEST(Transmitter, KeysAtOnceAndHoldsForTheTailAfterTheRequestAndTheAudio) {
  Transmitter tx({milliseconds(100), seconds(300)});
  auto s = tx.update(true, false, t0);
  EXPECT_TRUE(s.keyed);
  EXPECT_TRUE(s.keyedNow);
  // The program lets go while audio is still playing: keyed until the audio ends, then the tail.
  EXPECT_TRUE(tx.update(false, true, t0 + seconds(2)).keyed);
  EXPECT_TRUE(tx.update(false, false, t0 + seconds(3)).keyed);
  EXPECT_EQ(tx.deadline(), t0 + seconds(3) + milliseconds(100));
  EXPECT_TRUE(tx.update(false, false, t0 + seconds(3) + milliseconds(99)).keyed);
  EXPECT_FALSE(tx.update(false, false, t0 + seconds(3) + milliseconds(100)).keyed);
  EXPECT_FALSE(tx.deadline());
}

TEST(Transmitter, ANewRequestInTheTailKeepsTheKeyingWithoutKeyingAgain) {
  Transmitter tx({milliseconds(100), seconds(300)});
  tx.update(true, false, t0);
  tx.update(false, false, t0 + seconds(1));
  auto s = tx.update(false, true, t0 + seconds(1) + milliseconds(50));  // Morse queued in the tail
  EXPECT_TRUE(s.keyed);
  EXPECT_FALSE(s.keyedNow);
  EXPECT_TRUE(tx.update(false, false, t0 + seconds(2)).keyed);  // a new tail from here
  EXPECT_FALSE(tx.update(false, false, t0 + seconds(2) + milliseconds(100)).keyed);
}

TEST(Transmitter, TheLimitReleasesOnceAndKeysAgainOnlyAfterEveryoneLetGo) {
  Transmitter tx({milliseconds(100), seconds(300)});
  tx.update(true, false, t0);
  EXPECT_EQ(tx.deadline(), t0 + seconds(300));
  auto s = tx.update(true, false, t0 + seconds(300));
  EXPECT_FALSE(s.keyed);
  EXPECT_TRUE(s.limitReached);
  s = tx.update(true, true, t0 + seconds(301));  // still asked for: stays released, said once
  EXPECT_FALSE(s.keyed);
  EXPECT_FALSE(s.limitReached);
  EXPECT_FALSE(tx.update(false, true, t0 + seconds(302)).keyed);   // audio still holds it
  EXPECT_FALSE(tx.update(false, false, t0 + seconds(303)).keyed);  // let go: the latch clears
  s = tx.update(true, false, t0 + seconds(304));
  EXPECT_TRUE(s.keyedNow);
}

TEST(Transmitter, ACutOffHoldsBackEvenARequestThatComesAfterItUntilNothingAsks) {
  // The sound server froze before anyone asked: the request that comes meanwhile does not key the transmitter, even
  // once the server moves audio again, until it has let go.
  Transmitter tx({milliseconds(100), seconds(300)});
  tx.cutOff();
  EXPECT_FALSE(tx.update(true, true, t0).keyed);
  tx.cutOff();
  EXPECT_FALSE(tx.update(true, false, t0 + seconds(1)).keyed);
  EXPECT_FALSE(tx.update(false, false, t0 + seconds(2)).keyed);
  EXPECT_TRUE(tx.update(true, false, t0 + seconds(3)).keyedNow);
}

TEST(Transmitter, ZeroLimitNeverReleases) {
  Transmitter tx({milliseconds(100), seconds(0)});
  tx.update(true, false, t0);
  EXPECT_TRUE(tx.update(true, false, t0 + std::chrono::hours(10)).keyed);
  EXPECT_FALSE(tx.deadline());
}

TEST(CarrierTimeout, ACarrierHeldPastTheLimitCountsAsGoneUntilItDrops) {
  CarrierTimeout t(seconds(180));
  EXPECT_EQ(t.update(true, t0), CarrierTimeout::Change::None);
  EXPECT_EQ(t.update(true, t0 + seconds(179)), CarrierTimeout::Change::None);
  EXPECT_TRUE(t.carrier());
  EXPECT_EQ(t.update(true, t0 + seconds(180)), CarrierTimeout::Change::Cut);
  EXPECT_FALSE(t.carrier());
  EXPECT_EQ(t.update(true, t0 + seconds(500)), CarrierTimeout::Change::None);  // told once
  EXPECT_FALSE(t.carrier());
  EXPECT_EQ(t.update(false, t0 + seconds(501)), CarrierTimeout::Change::Dropped);
  // The next carrier counts again, with the whole limit of its own.
  EXPECT_EQ(t.update(true, t0 + seconds(502)), CarrierTimeout::Change::None);
  EXPECT_EQ(t.update(true, t0 + seconds(681)), CarrierTimeout::Change::None);
  EXPECT_TRUE(t.carrier());
  EXPECT_EQ(t.update(false, t0 + seconds(682)), CarrierTimeout::Change::None);
  // Zero: no limit.
  CarrierTimeout off(seconds(0));
  off.update(true, t0);
  EXPECT_EQ(off.update(true, t0 + std::chrono::hours(24)), CarrierTimeout::Change::None);
  EXPECT_TRUE(off.carrier());
}

TEST(TransmitAudio, MorseKeepsTheGeneratorsTimingAtTheToneAndLevel) {
  // "E" is one dot (one unit) and the word gap: at 20 wpm a unit is 60 ms.
  auto e = renderCw("E", 8000, 1000, 20, -6);
  std::size_t keyed = 0;
  float peak = 0;
  for (float s : e) {
    keyed += std::abs(s) > 0;
    peak = std::max(peak, std::abs(s));
  }
  EXPECT_NEAR(static_cast<double>(keyed), 480, 3);  // 60 ms at 8 kHz
  EXPECT_NEAR(peak, amplitudeOf(-6), 0.01);
  // The tone crosses zero twice a cycle: 1000 Hz over 60 ms is 120 crossings.
  int crossings = 0;
  for (std::size_t i = 1; i < 480; ++i) crossings += (e[i - 1] < 0) != (e[i] < 0);
  EXPECT_NEAR(crossings, 120, 2);
}

TEST(TransmitAudio, SpeechIsResampledAndBroughtToItsLevel) {
  std::vector<std::int16_t> in(22050, 0);
  for (std::size_t i = 0; i < in.size(); i += 50) in[i] = 1000;
  auto out = prepareSpeech(in, 22050, 48000, -6);
  EXPECT_NEAR(static_cast<double>(out.size()), 48000, 50);
  float peak = 0;
  for (float s : out) peak = std::max(peak, std::abs(s));
  EXPECT_NEAR(peak, amplitudeOf(-6), 0.001);
  EXPECT_DOUBLE_EQ(levelDbfs(out.data(), 0), -120);
  std::vector<float> full(100, 1.0f);
  EXPECT_NEAR(levelDbfs(full.data(), full.size()), 0, 1e-9);
}

struct FakeClock : MonotonicClock {
  time_point at = t0 + std::chrono::hours(1);
  time_point now() const override { return at; }
};

// A sound server that is reachable or not, whose cycles the test runs, with radio_in fed by the test.
struct FakePort : AudioPort {
  bool reachable = true, opened = false;
  int opens = 0;
  std::uint64_t cycleCount = 0;
  std::vector<float> received;
  std::size_t transmitted = 0;
  bool open(const std::string&, std::string& error) override {
    ++opens;
    if (!reachable) error = "no JACK server is running";
    return opened = reachable;
  }
  bool close() override { return !(opened = false); }
  bool isOpen() const override { return opened; }
  int sampleRate() const override { return 8000; }
  std::uint32_t period() const override { return 256; }
  std::uint64_t cycles() const override { return cycleCount; }
  bool connectRadio(const std::string&, const std::string&, std::string&) override { return true; }
  std::size_t readReceive(float* out, std::size_t max) override {
    const std::size_t n = std::min(max, received.size());
    std::copy_n(received.begin(), n, out);
    received.erase(received.begin(), received.begin() + static_cast<long>(n));
    return n;
  }
  std::size_t writeTransmit(const float*, std::size_t count) override { return transmitted += count, count; }
  std::size_t transmitQueued() const override { return 0; }
  std::uint32_t framesUntilOutput() const override { return 0; }
  void setTransmitBacklog(bool) override {}
  std::size_t readCall(float*, std::size_t) override { return 0; }
  std::size_t writeCall(const float*, std::size_t count) override { return count; }
  bool followCall(const std::string&) override { return false; }
  AudioOverruns overruns() const override { return {}; }
};

struct KeyLog : PttLine {
  std::vector<bool>* keyings;
  explicit KeyLog(std::vector<bool>& k) : keyings(&k) {}
  bool key(bool on, std::string&) override { return keyings->push_back(on), true; }
  bool keyed() const override { return !keyings->empty() && keyings->back(); }
};

TEST(JackLink, AnUnreachableServerIsTriedWithBackOffToldOnceAndMendedWhenItComes) {
  FakeClock clock;
  FakePort port;
  port.reachable = false;
  JackLink link(port, clock, {});
  std::vector<std::string> told;
  link.problem = [&](const std::string& text) { told.push_back(text); };
  link.connect();
  EXPECT_EQ(link.state(), JackLink::State::BackingOff);
  std::vector<long> waits;
  for (int i = 0; i < 8; ++i) {
    auto due = *link.nextAttempt();
    waits.push_back(std::chrono::duration_cast<seconds>(due - clock.at).count());
    clock.at = due - milliseconds(1);
    link.service();
    EXPECT_EQ(port.opens, i + 1);  // not before it is due
    clock.at = due;
    link.service();
  }
  EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 32, 60, 60}));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("JackServer in quillmere_radio.ini is empty"), std::string::npos);
  port.reachable = true;
  int upRate = 0;
  link.up = [&](int rate) { upRate = rate; };
  clock.at = *link.nextAttempt();
  link.service();
  EXPECT_EQ(link.state(), JackLink::State::Online);
  EXPECT_EQ(upRate, 8000);
  EXPECT_EQ(told.back(), "JACK: connected again (8000 Hz)");
  EXPECT_FALSE(link.nextAttempt());
}

TEST(JackLink, AServerThatRunsNoCycleForASecondIsFrozenUntilItMovesAgainAndOneThatGoesIsTriedAfterASecond) {
  FakeClock clock;
  FakePort port;
  JackLink link(port, clock, {});
  std::vector<std::string> told;
  link.problem = [&](const std::string& text) { told.push_back(text); };
  bool gone = false;
  link.gone = [&] { gone = true; };
  link.connect();
  clock.at += milliseconds(999);
  EXPECT_FALSE(link.stalled());
  clock.at += milliseconds(1);
  EXPECT_TRUE(link.stalled());
  EXPECT_EQ(link.state(), JackLink::State::Frozen);
  EXPECT_TRUE(link.stalled());
  ++port.cycleCount;
  EXPECT_FALSE(link.stalled());
  EXPECT_EQ(link.state(), JackLink::State::Online);
  ASSERT_EQ(told.size(), 2u);  // each change told once
  EXPECT_EQ(told[1], "JACK: the server moves audio again");
  link.lost();
  EXPECT_TRUE(gone);
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(*link.nextAttempt(), clock.at + seconds(1));
}

TEST(ReceivePath, TheVoxCarrierAndTheDigitsUnderItBecomeOneStringWhenItDrops) {
  FakeClock clock;
  FakePort port;
  RadioSettings settings;  // Squelch=vox
  NodeGauges gauges;
  ReceivePath rx(port, clock, settings, gauges, nullptr);
  port.opened = true;
  std::vector<std::string> heard;
  std::vector<bool> moving;  // the loop's quick turn is wanted while the carrier lasts, and only then
  rx.onCarrier = [&](bool on) {
    heard.push_back(on ? "carrier on" : "carrier off");
    moving.push_back(rx.moving());
  };
  rx.onDigits = [&](const std::string& digits) { heard.push_back("dtmf " + digits); };
  std::size_t passed = 0;
  rx.onAudio = [&](const float*, std::size_t count) { passed += count; };
  rx.start(port.sampleRate());
  port.received = testsignals::digits(8000, "*12", 80, 80, {-10});
  testsignals::appendSilence(port.received, 8000, 2000);
  const std::size_t total = port.received.size();
  rx.receive();
  EXPECT_EQ(heard, (std::vector<std::string>{"carrier on", "carrier off", "dtmf *12"}));
  EXPECT_FALSE(gauges.carrier.load());
  EXPECT_EQ(passed, total);
  EXPECT_EQ(moving, (std::vector<bool>{true, false}));
}

struct SetLine : SquelchLine {
  bool* on;
  explicit SetLine(bool& o) : on(&o) {}
  int fd() const override { return 3; }
  std::optional<bool> carrier(std::string&) override { return *on; }
};

TEST(ReceivePath, AudioThatWaitedInTheRingBeforeTheSquelchLineOpenedGoesOnWithoutTheCarrier) {
  FakeClock clock;
  FakePort port;
  RadioSettings settings;
  settings.squelch = "pty:/dev/null";
  NodeGauges gauges;
  bool line = false;
  ReceivePath rx(port, clock, settings, gauges, std::make_unique<SetLine>(line));
  port.opened = true;
  std::size_t underCarrier = 0, without = 0;
  rx.onAudio = [&](const float*, std::size_t count) { (gauges.carrier.load() ? underCarrier : without) += count; };
  rx.start(port.sampleRate());
  port.received.assign(2000, 0.1f);  // what waited while the loop rested
  line = true;
  rx.readSquelch();
  rx.receive();
  EXPECT_TRUE(gauges.carrier.load());
  EXPECT_EQ(without, 2000u);
  EXPECT_EQ(underCarrier, 0u);
}

TEST(TransmitPath, TxLimitReleasesTheLineWhoeverAsksAndKeysAgainOnlyOnceLetGo) {
  FakeClock clock;
  FakePort port;
  RadioSettings settings;
  settings.txLimitSeconds = 5;
  NodeGauges gauges;
  std::vector<bool> keyings;
  JackLink link(port, clock, {});
  link.connect();
  TransmitPath tx(port, link, clock, settings, gauges, std::make_unique<KeyLog>(keyings));
  tx.start(port.sampleRate());
  std::vector<std::string> told;
  tx.onProblem = [&](const std::string& text) { told.push_back(text); };
  EXPECT_FALSE(tx.moving());  // nothing asked: the loop may rest
  tx.setRequested(true);
  EXPECT_TRUE(tx.moving());
  EXPECT_EQ(keyings, std::vector<bool>{true});
  EXPECT_GT(port.transmitted, 0u);  // TxDelay's silence went out
  for (int i = 0; i < 5; ++i) {
    clock.at += seconds(1);
    ++port.cycleCount;  // the server moves audio
    tx.service();
  }
  EXPECT_EQ(keyings, (std::vector<bool>{true, false}));
  EXPECT_FALSE(gauges.keyed.load());
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("TxLimit (5 s)"), std::string::npos);
  // Morse queued while still asked for cannot go: it is dropped, said once, and keeps nothing released for ever.
  tx.sendMorse("E");
  tx.sendMorse("E");
  EXPECT_EQ(keyings.size(), 2u);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_NE(told[1].find("was dropped"), std::string::npos);
  tx.setRequested(false);
  tx.sendMorse("E");
  EXPECT_EQ(keyings, (std::vector<bool>{true, false, true}));
}

TEST(OverrunReport, TheFirstLossIsToldAtOnceThenAtMostOnceAMinuteWithWhatCameSince) {
  OverrunReport report;
  const auto at = t0 + std::chrono::hours(1);
  auto line = report.add({1, 0, 0, 0, 0}, at);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "quillmere: audio lost: JACK xruns 1");
  EXPECT_FALSE(report.add({2, 3, 0, 0, 0}, at + seconds(10)));
  EXPECT_FALSE(report.add({}, at + seconds(59)));
  line = report.add({}, at + seconds(60));
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "quillmere: audio lost: JACK xruns 2, radio_in overruns 3 (since the last report)");
  EXPECT_FALSE(report.add({}, at + seconds(200)));  // nothing new: nothing said
}

}  // namespace
}  // namespace qm::radio
