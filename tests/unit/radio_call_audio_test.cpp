#include "radio/call_audio.h"
#include "radio/network_audio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <deque>
#include <numbers>
#include <utility>
#include <vector>

#include "platform/profile_file.h"
#include "radio/radio_settings.h"
#include "radio/tx_audio.h"
#include "radio_dsp_signals.h"

namespace qm::radio {
namespace {

constexpr int kRate = 8000;

std::vector<float> tone(int ms, double amplitude = 0.5) {
  std::vector<float> s(static_cast<std::size_t>(kRate * ms / 1000));
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i) / kRate));
  return s;
}

std::vector<float> silence(int ms) {
  return std::vector<float>(static_cast<std::size_t>(kRate * ms / 1000), 0.0f);
}

float peak(const std::vector<float>& s) {
  float p = 0;
  for (float x : s) p = std::max(p, std::fabs(x));
  return p;
}

// Feeds `ms` of far-end audio in 10 ms blocks; returns after how many ms (from the start) the call first wanted the
// transmitter, -1 if never.
int feedCall(CallAudio& call, const std::vector<float>& audio) {
  int wantedAt = -1;
  const std::size_t block = kRate / 100;
  for (std::size_t at = 0; at + block <= audio.size(); at += block) {
    call.fromCall(audio.data() + at, block);
    if (wantedAt < 0 && call.wantsTransmitter()) wantedAt = static_cast<int>((at + block) * 1000 / kRate);
  }
  return wantedAt;
}

TEST(CallAudio, RadioReachesTheCallOnlyWithCarrierLinkedAndUnmuted) {
  CallAudio call(kRate, CallAudioSettings{false, {-45, 20, 1000}, 0, -6, -20});
  auto in = tone(20);
  std::vector<float> out(in.size(), 1.0f);

  call.fromRadio(in.data(), out.data(), in.size(), true);
  EXPECT_EQ(peak(out), 0.0f) << "no call linked";

  call.setLinked(true);
  call.fromRadio(in.data(), out.data(), in.size(), false);
  EXPECT_EQ(peak(out), 0.0f) << "no carrier";

  call.fromRadio(in.data(), out.data(), in.size(), true);
  EXPECT_NEAR(peak(out), 0.5f * std::pow(10.0f, -6.0f / 20), 0.01f) << "CallTxGain applies";
  EXPECT_NEAR(call.transmitLevelDbfs(), 20 * std::log10(0.5 / std::sqrt(2.0)) - 6, 0.5);

  call.setMuted(true);
  call.fromRadio(in.data(), out.data(), in.size(), true);
  EXPECT_EQ(peak(out), 0.0f) << "muted";
  call.setMuted(false);
  call.fromRadio(in.data(), out.data(), in.size(), true);
  EXPECT_GT(peak(out), 0.1f) << "unmuted again";
}

TEST(CallAudio, SpeechForTheCallReachesItWithoutCarrierAndOnlyWhileLinked) {
  CallAudio call(kRate, CallAudioSettings{});
  auto in = tone(20);
  std::vector<float> out(in.size(), 1.0f);
  call.speak(tone(10, 0.3));
  call.fromRadio(in.data(), out.data(), in.size(), false);
  EXPECT_EQ(peak(out), 0.0f) << "no call linked: nothing kept for later";

  call.setLinked(true);
  call.setMuted(true);
  call.speak(tone(10, 0.3));
  call.fromRadio(in.data(), out.data(), in.size(), false);
  EXPECT_NEAR(peak({out.begin(), out.begin() + kRate / 100}), 0.3f, 0.01f) << "the speech, with no carrier, muted";
  EXPECT_EQ(peak({out.begin() + kRate / 100, out.end()}), 0.0f) << "and only the speech";
  call.fromRadio(in.data(), out.data(), in.size(), false);
  EXPECT_EQ(peak(out), 0.0f) << "said once";

  call.speak(tone(10, 0.3));
  call.setLinked(false);
  call.setLinked(true);
  call.fromRadio(in.data(), out.data(), in.size(), false);
  EXPECT_EQ(peak(out), 0.0f) << "an ended call's speech is not heard by the next";
}

TEST(CallAudio, FarEndKeysWhileItTalksPlusTheHang) {
  CallAudio call(kRate, CallAudioSettings{false, {-45, 20, 300}, 0, 0, -20});
  call.setLinked(true);
  EXPECT_EQ(feedCall(call, silence(500)), -1) << "silence keys nothing";
  EXPECT_EQ(feedCall(call, tone(200, 0.001)), -1) << "below the threshold (-63 dBFS)";
  EXPECT_EQ(feedCall(call, tone(200)), 20) << "the attack after the first sound";
  feedCall(call, silence(290));
  EXPECT_TRUE(call.wantsTransmitter()) << "held through the hang";
  feedCall(call, silence(10));
  EXPECT_FALSE(call.wantsTransmitter()) << "released once the hang is over";
}

TEST(CallAudio, AnEndedCallNeverHoldsTheTransmitter) {
  CallAudio voxed(kRate, CallAudioSettings{false, {-45, 20, 5000}, 0, 0, -20});
  voxed.setLinked(true);
  feedCall(voxed, tone(100));
  voxed.setKeyed(true);
  feedCall(voxed, tone(100));
  ASSERT_TRUE(voxed.wantsTransmitter());
  ASSERT_GT(voxed.queued(), 0u);
  voxed.setLinked(false);  // hung up mid-word, or baresip died
  EXPECT_FALSE(voxed.wantsTransmitter());
  EXPECT_EQ(voxed.queued(), 0u);
  voxed.setLinked(true);
  EXPECT_FALSE(voxed.wantsTransmitter()) << "the last call's VOX is not carried into the next";
  EXPECT_EQ(feedCall(voxed, tone(10, 0.0)), -1);

  CallAudio whole(kRate, CallAudioSettings{true, {-45, 20, 1000}, 0, 0, -20});
  EXPECT_FALSE(whole.wantsTransmitter());
  whole.setLinked(true);
  EXPECT_TRUE(whole.wantsTransmitter()) << "CallPtt=call keys for the whole call, silence or not";
  whole.setLinked(false);
  EXPECT_FALSE(whole.wantsTransmitter());
}

TEST(CallAudio, ReleasedKeepsOnlyThePrerollAndKeyingDelaysIt) {
  CallAudio call(kRate, CallAudioSettings{false, {-45, 20, 1000}, 0, 0, -20});
  call.setLinked(true);
  feedCall(call, tone(500));
  const std::size_t preroll = kRate * (20 + 20) / 1000;
  EXPECT_EQ(call.queued(), preroll) << "released: only the sound that opened the VOX is kept";
  call.setKeyed(true);
  call.delay(kRate / 10);  // TxDelay
  feedCall(call, tone(100));
  EXPECT_EQ(call.queued(), preroll + kRate / 10 + kRate / 10);
  std::vector<float> out(kRate / 10, 0.0f);
  call.mixInto(out.data(), out.size(), false);
  EXPECT_EQ(peak(out), 0.0f) << "silence while the transmitter settles";
  call.mixInto(out.data(), out.size(), false);
  EXPECT_GT(peak(out), 0.4f) << "then the far end";
}

TEST(CallAudio, AHeldCallersToneKeysAreHeardOnceEachAndNothingGoesOnTheAir) {
  CallAudio call(kRate, CallAudioSettings{false, {-45, 20, 1000}, 0, 0, -20});
  std::string keys;
  call.onCallerKey = [&](char key) { keys += key; };
  const std::vector<float> pin = testsignals::digits(kRate, "4711#", 120, 80);
  call.setLinked(true);
  call.setHeld(true);
  call.setKeyed(true);
  EXPECT_EQ(feedCall(call, pin), -1);
  EXPECT_EQ(call.queued(), 0u) << "a held call's keys never reach the air";
  EXPECT_EQ(keys, "4711#");

  keys.clear();
  call.setHeld(false);
  feedCall(call, pin);
  EXPECT_EQ(keys, "") << "on the air the caller's tones are audio, not keys";
}

TEST(CallAudio, TheCallIsDuckedUnderTheProgram) {
  CallAudio call(kRate, CallAudioSettings{false, {-45, 20, 1000}, -6, 0, -20});
  call.setLinked(true);
  call.setKeyed(true);
  feedCall(call, tone(600));
  std::vector<float> out(kRate / 10, 0.0f);
  call.mixInto(out.data(), out.size(), false);
  EXPECT_NEAR(peak(out), 0.5f * std::pow(10.0f, -6.0f / 20), 0.01f) << "CallRxGain applies";

  std::vector<float> first(kRate / 100, 0.0f), rest(kRate / 10, 0.0f);
  call.mixInto(first.data(), first.size(), true);  // the duck ramps in over some 10 ms, without a click
  call.mixInto(rest.data(), rest.size(), true);
  EXPECT_NEAR(peak(rest), 0.5f * std::pow(10.0f, -26.0f / 20), 0.005f) << "ducked by CallDuck";

  std::vector<float> program(kRate / 10, 0.3f);
  EXPECT_EQ(call.mixInto(program.data(), program.size(), true), program.size());
  EXPECT_NEAR(peak(program), 0.3f + 0.5f * std::pow(10.0f, -26.0f / 20), 0.005f) << "mixed under the speech";

  call.mixInto(first.data(), first.size(), false);
  std::fill(rest.begin(), rest.end(), 0.0f);
  call.mixInto(rest.data(), rest.size(), false);
  EXPECT_NEAR(peak(rest), 0.5f * std::pow(10.0f, -6.0f / 20), 0.01f) << "back at full level after it";
}

TEST(StationAudio, IsDuckedUnderTheCourtesyMorseSoTheSumStaysFarFromClipping) {
  NetworkAudio station(kRate, -20, std::chrono::milliseconds(0));
  auto talk = tone(600, 0.5);
  station.add(talk.data(), talk.size(), 0);
  std::vector<float> before(kRate / 10, 0.0f);
  station.mixInto(before.data(), before.size(), false);  // the station talks alone, at full level
  EXPECT_NEAR(peak(before), 0.5f, 0.01f);

  auto morse = renderCw("I", kRate, 800, 20, -10);
  station.mixInto(morse.data(), morse.size(), true);
  EXPECT_LE(peak(morse), 0.5f + 1e-3f) << "never louder than the station alone, even as the first dit rises";
  morse.erase(morse.begin(), morse.begin() + kRate / 200);
  EXPECT_LT(peak(morse), amplitudeOf(-10) + 0.5 * amplitudeOf(-20) + 0.01) << "the station ducked under the Morse";
}

// The node's transmit path in miniature: every 10 ms the sound server plays 10 ms, and what is queued is moved to it
// up to 100 ms ahead. Returns what was played.
std::vector<float> playPackets(NetworkAudio& station, const std::vector<std::pair<int, std::vector<float>>>& packets) {
  const std::size_t step = kRate / 100, ahead = kRate / 10;
  std::deque<float> server;
  std::vector<float> played;
  for (int ms = 0; ms < 500; ms += 10) {
    for (const auto& [at, audio] : packets)
      if (at == ms) station.add(audio.data(), audio.size(), server.size());
    std::vector<float> block(ahead - std::min(ahead, server.size()), 0.0f);
    block.resize(station.mixInto(block.data(), block.size(), false));
    server.insert(server.end(), block.begin(), block.end());
    for (std::size_t i = 0; i < step; ++i) {
      played.push_back(server.empty() ? 0.0f : server.front());
      if (!server.empty()) server.pop_front();
    }
  }
  return played;
}

// The longest run of silent samples between the first and the last sound.
std::size_t longestHole(const std::vector<float>& s) {
  std::size_t longest = 0, run = 0;
  bool started = false;
  for (float x : s) {
    if (x != 0.0f) {
      if (started) longest = std::max(longest, run);
      started = true;
      run = 0;
    } else {
      ++run;
    }
  }
  return longest;
}

TEST(StationAudio, ATalkThatFollowsAnotherStartsBehindALeadSoALatePacketLeavesNoHole) {
  NetworkAudio station(kRate, -20, std::chrono::milliseconds(100));
  auto first = tone(80), second = tone(80);
  station.add(first.data(), first.size(), 0);  // the talk before, played out
  std::vector<float> out(first.size() + kRate / 10, 0.0f);
  station.mixInto(out.data(), out.size(), false);
  station.end();
  // The next station's packets come 80 ms apart, the second 30 ms late; the transmitter is still keyed, so no
  // TxDelay comes before them.
  auto played = playPackets(station, {{0, first}, {110, second}});
  EXPECT_LT(longestHole(played), static_cast<std::size_t>(kRate / 1000)) << "a hole in the station's words";
}

TEST(CallSettings, AreReadAndBadOnesNamedWithWhatIsUsed) {
  std::vector<std::string> problems;
  auto s = readRadioSettings(ProfileFile::parse("[SETTINGS]\r\nCallPtt=call\r\nCallVoxThreshold=-50.5\r\n"
                                                "CallVoxHang=1500\r\nCallRxGain=-3\r\nCallDuck=-30\r\n"),
                             "quillmere_radio.ini", problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(s.callPtt, "call");
  EXPECT_DOUBLE_EQ(s.callVoxThresholdDbfs, -50.5);
  EXPECT_EQ(s.callVoxAttackMs, 20);
  EXPECT_EQ(s.callVoxHangMs, 1500);
  EXPECT_DOUBLE_EQ(s.callRxGainDb, -3);
  EXPECT_DOUBLE_EQ(s.callTxGainDb, 0);
  EXPECT_DOUBLE_EQ(s.callDuckDb, -30);

  s = readRadioSettings(ProfileFile::parse("[SETTINGS]\r\nCallPtt=always\r\nCallDuck=6\r\n"), "quillmere_radio.ini",
                        problems);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0],
            "quillmere_radio.ini: the value \"always\" of CallPtt is neither vox nor call; using \"vox\" "
            "instead.");
  EXPECT_NE(problems[1].find("CallDuck"), std::string::npos);
  EXPECT_NE(problems[1].find("using \"-20\""), std::string::npos);
  EXPECT_EQ(s.callPtt, "vox");
  EXPECT_DOUBLE_EQ(s.callDuckDb, -20);
}

}  // namespace
}  // namespace qm::radio
