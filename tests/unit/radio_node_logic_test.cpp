// The radio node's timing rules without hardware: how DTMF digits become strings, when the transmitter is keyed, and
// when a carrier held too long stops counting.
#include <gtest/gtest.h>

#include "radio/carrier_timeout.h"
#include "radio/dtmf_collector.h"
#include "radio/transmitter.h"
#include "radio/tx_audio.h"

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

}  // namespace
}  // namespace qm::radio
