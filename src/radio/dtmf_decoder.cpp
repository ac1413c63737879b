#include "radio/dtmf_decoder.h"

#include <spandsp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <new>
#include <numbers>
#include <vector>

#include "radio/audio_level.h"
#include "radio/resampler.h"

// How a digit is decided. spandsp tells which digit sounds, but only in blocks of 12.75 ms, wants a digit in two
// blocks running, and takes it only within about +-1.25% of the nominal frequencies. So six spandsp receivers listen,
// after a band-pass to the DTMF band: to the audio as it is and played 0.8% faster and slower (which together take
// every digit within +-2% and none beyond +-2.8%), each twice, half a block apart (so a tone of 30 ms fills two
// blocks of one of them wherever it falls). How long a tone and a gap last is measured finer, every 2 ms, from the
// envelopes of the eight DTMF frequencies: a digit counts when spandsp has heard it and its two tones have lasted the
// minimum tone time; the press ends (and the same digit may count again) when they have been gone for the minimum
// gap. A fade shorter than that is one press held through it.
//
// spandsp's blocks are too short to tell a DTMF frequency from a musical note a few percent beside it (a note of
// 670 Hz with its octave passes for 697 + 1336 Hz), and the six views widen that further. So before a digit counts,
// its two tones are measured over the tone (up to its latest 64 ms, with a Hann-windowed DFT on a grid of 0.25%):
// each must lie within kMaxDeviation (2%) of its frequency, and be as strong in the tone's second half as in its
// first within 6 dB (a struck note decays, two close notes beat). spandsp hears a key within three blocks of its
// start and goes on hearing it: the tone is taken to start no earlier than that, spandsp may miss no more than that
// of it, and when the envelopes show both tones as strong before then, the pair is music that passed spandsp's test
// for a moment.
//
// A receiver with its squelch closed gives near silence for hours: once the audio has stayed 12 dB below the weakest
// tone taken for kQuietMs with no press under way, none of that runs (only the clock goes on), until a sample rises
// above that again. What the receivers' state holds by then is the same near silence.

namespace qm::radio {

namespace {

constexpr int kRate = 8000;
constexpr int kBlock = 102;  // spandsp's decision block
constexpr double kBlockMs = 1000.0 * kBlock / kRate;
constexpr int kStep = 16;  // 2 ms: the resolution of tone and gap times
constexpr int kHistorySteps = 64;
constexpr int kPeakSteps = 20;
constexpr double kFrequencyShift = 0.008;
constexpr int kQuietMs = 200;
constexpr double kMaxDeviation = 0.02;  // the 1.5% a receiver must take, with a margin
constexpr double kSearchDeviation = 0.04;
constexpr double kGridStep = 0.0025;
constexpr int kRecent = 1024;  // 128 ms of band-passed audio kept for that measurement
constexpr int kMaxSpan = 512;  // the latest 64 ms of a tone are measured
// How much of a tone spandsp may miss (at its start, while it decides; in the middle): 3 blocks and a step.
constexpr int kMaxUnheardSamples = 3 * kBlock + kStep;
// A key's tones are steady: each as strong in the first half of the tone as in the second, within this fraction.
// A struck note decays, two notes a little apart beat.
constexpr double kSteadyFraction = 0.5;
constexpr float kSilentFraction = 0.1f;  // 20 dB: a gap between two presses of the same key
constexpr float kQuietFraction = 0.25f;  // of the weakest tone's amplitude: 12 dB below it
// spandsp 0.0.6 takes a tone whose peak is L dBFS when its threshold is at most L + 3 dBm0 (measured with tones).
constexpr double kThresholdOverDbfs = 3;
// A tone is present while both its envelopes stay within 12 dB of their peak in this press.
constexpr float kPresentFraction = 0.25f;
// The envelopes' smoothing (2 ms) makes a tone read about 2 ms longer and a gap as much shorter, give or take one
// 2 ms step: a tone is taken at its minimum as read, a gap 4 ms short of it.
constexpr int kGapToleranceSamples = 4 * kRate / 1000;

constexpr std::array<double, 8> kFrequencies = {697, 770, 852, 941, 1209, 1336, 1477, 1633};
constexpr const char* kKeys = "123A456B789C*0#D";

int lowIndex(char digit) {
  for (int i = 0; i < 16; ++i)
    if (kKeys[i] == digit) return i / 4;
  return 0;
}
int highIndex(char digit) {
  for (int i = 0; i < 16; ++i)
    if (kKeys[i] == digit) return 4 + i % 4;
  return 4;
}

int roundDb(double db) {
  return static_cast<int>(std::lround(db));
}

// The amplitude of each DTMF frequency, from a complex mixer and a one-pole low-pass filter (2 ms).
class ToneEnvelopes {
 public:
  ToneEnvelopes() {
    for (std::size_t i = 0; i < kFrequencies.size(); ++i) {
      step_[i] = std::polar(1.0f, static_cast<float>(-2 * std::numbers::pi * kFrequencies[i] / kRate));
      phase_[i] = 1;
    }
  }
  void feed(float x) {
    for (std::size_t i = 0; i < kFrequencies.size(); ++i) {
      phase_[i] *= step_[i];
      mixed_[i] += kAlpha * (x * phase_[i] - mixed_[i]);
    }
    if (++sinceNormal_ == 256) {
      sinceNormal_ = 0;
      for (auto& p : phase_) p /= std::abs(p);
    }
  }
  // The amplitude of a sine at frequency i, as a fraction of full scale.
  float amplitude(std::size_t i) const { return 2 * std::abs(mixed_[i]); }

 private:
  static constexpr float kAlpha = 0.0606f;  // 1 - exp(-1 / (2 ms at 8 kHz))
  std::array<std::complex<float>, 8> step_{}, phase_{}, mixed_{};
  int sinceNormal_ = 0;
};

// A second-order section (the audio EQ cookbook's low- and high-pass), for the band-pass before spandsp.
class Biquad {
 public:
  Biquad(bool highPass, double hz, double q) {
    const double w = 2 * std::numbers::pi * hz / kRate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
    const double a0 = 1 + alpha;
    b0_ = (highPass ? (1 + c) / 2 : (1 - c) / 2) / a0;
    b1_ = (highPass ? -(1 + c) : 1 - c) / a0;
    b2_ = b0_;
    a1_ = -2 * c / a0;
    a2_ = (1 - alpha) / a0;
  }
  float operator()(float x) {
    const double y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    return static_cast<float>(y);
  }

 private:
  double b0_, b1_, b2_, a1_, a2_, z1_ = 0, z2_ = 0;
};

// Fourth-order Butterworth high-pass at 500 Hz and low-pass at 2200 Hz: within 0.4 dB over the DTMF band, and noise
// outside it no longer counts against a tone in spandsp's test of its share of the energy.
class DtmfBand {
 public:
  float operator()(float x) { return lp2_(lp1_(hp2_(hp1_(x)))); }

 private:
  Biquad hp1_{true, 500, 0.5412}, hp2_{true, 500, 1.3066}, lp1_{false, 2200, 0.5412}, lp2_{false, 2200, 1.3066};
};

// The band-passed audio of the last kRecent samples, and where within +-kSearchDeviation of a frequency its strongest
// component lies.
class RecentAudio {
 public:
  void push(long at, float x) { samples_[static_cast<std::size_t>(at % kRecent)] = x; }
  // The offset, relative to hz, of the strongest component in [from, to) (samples at 8 kHz, to - from <= kRecent);
  // 1 when it lies at the edge of the search (something beyond it is stronger).
  double offset(double hz, long from, long to) {
    windowed(from, to);
    const int steps = static_cast<int>(std::lround(kSearchDeviation / kGridStep));
    int best = 0;
    float bestPower = -1;
    for (int k = -steps; k <= steps; ++k) {
      const float power = std::norm(dft(hz * (1 + k * kGridStep)));
      if (power > bestPower) {
        bestPower = power;
        best = k;
      }
    }
    return std::abs(best) == steps ? 1.0 : best * kGridStep;
  }
  // The amplitude of a sine at hz in [from, to), Hann-windowed.
  float amplitude(double hz, long from, long to) {
    windowed(from, to);
    return 4 * std::abs(dft(hz)) / static_cast<float>(to - from);
  }

 private:
  void windowed(long from, long to) {
    const auto n = static_cast<std::size_t>(to - from);
    windowSize_ = n;
    for (std::size_t i = 0; i < n; ++i)
      window_[i] = samples_[static_cast<std::size_t>((from + static_cast<long>(i)) % kRecent)] *
                   static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / n));
  }
  std::complex<float> dft(double hz) const {
    const auto turn = std::polar(1.0f, static_cast<float>(-2 * std::numbers::pi * hz / kRate));
    std::complex<float> phase = 1, sum = 0;
    for (std::size_t i = 0; i < windowSize_; ++i) {
      sum += window_[i] * phase;
      phase *= turn;
    }
    return sum;
  }

  std::array<float, kRecent> samples_{};
  std::array<float, kRecent> window_{};  // the span being measured, windowed (no allocation on the audio path)
  std::size_t windowSize_ = 0;
};

// One spandsp receiver, with the resampler that shifts its view of the frequencies.
struct Detector {
  Detector(int offset, const DtmfSettings& settings) : rx(dtmf_rx_init(nullptr, nullptr, nullptr)), fill(offset) {
    if (!rx) throw std::bad_alloc();
    dtmf_rx_set_realtime_callback(rx, &Detector::onTone, this);
    // spandsp's "twist" lets the low group be the stronger, its "reverse twist" the high group.
    dtmf_rx_parms(rx, 0, roundDb(settings.maxReverseTwistDb), roundDb(settings.maxTwistDb),
                  roundDb(settings.minLevelDbfs + kThresholdOverDbfs));
  }
  ~Detector() { dtmf_rx_free(rx); }
  Detector(const Detector&) = delete;
  Detector& operator=(const Detector&) = delete;

  static void onTone(void* user, int code, int, int) { static_cast<Detector*>(user)->code = static_cast<char>(code); }

  void feed(const std::vector<int16_t>& samples) {
    for (int16_t x : samples) {
      block[static_cast<std::size_t>(fill++)] = x;
      if (fill == kBlock) {
        dtmf_rx(rx, block.data(), kBlock);
        fill = 0;
      }
    }
  }
  bool active() const { return dtmf_rx_status(rx) != 0; }

  dtmf_rx_state_t* rx;
  std::array<int16_t, kBlock> block{};
  int fill;       // starts at the receiver's offset into its first block
  char code = 0;  // the digit spandsp is in, 0 for none
};

// The audio as one pair of receivers hears it: shifted in frequency by resampling, then to 16 bits.
struct Listener {
  Listener(double ratio, const DtmfSettings& settings) : shift(ratio), early(0, settings), late(kBlock / 2, settings) {}
  void feed(const float* samples, std::size_t count) {
    shifted.clear();
    shift.process(samples, count, shifted);
    pcm.clear();
    for (float x : shifted) pcm.push_back(static_cast<int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f)));
    early.feed(pcm);
    late.feed(pcm);
  }
  char code() const { return early.code ? early.code : late.code; }
  bool active() const { return early.active() || late.active(); }

  Resampler shift;
  std::vector<float> shifted;
  std::vector<int16_t> pcm;
  Detector early, late;
};

}  // namespace

struct DtmfDecoder::Impl {
  Impl(DtmfDecoder& owner, int sampleRate, const DtmfSettings& s)
      : owner(owner),
        settings(s),
        toRate(sampleRate, kRate),
        minLevel(static_cast<float>(std::pow(10.0, s.minLevelDbfs / 20))),
        // spandsp's own hits: a tone of T blocks fills at least floor(T) - 1 of them wherever it falls, and spandsp
        // declares it after the first two.
        minHeardSamples(std::max(0, static_cast<int>(std::floor(s.minToneMs / kBlockMs)) - 3) * kBlock),
        minToneSamples(std::max(0, s.minToneMs * kRate / 1000)),
        minGapSamples(std::max(kStep, s.minGapMs * kRate / 1000 - kGapToleranceSamples)),
        inputRate(sampleRate),
        quietLevel(kQuietFraction * minLevel),
        quietAfter(static_cast<long>(sampleRate) * kQuietMs / 1000) {
    for (double ratio : {1.0, 1 + kFrequencyShift, 1 / (1 + kFrequencyShift)})
      listeners.push_back(std::make_unique<Listener>(ratio, s));
  }

  void feed8k(float x) {
    envelopes.feed(x);
    step[stepFill] = band(x);
    recent.push(now + stepFill, step[stepFill]);
    ++stepFill;
    if (stepFill < kStep) return;
    stepFill = 0;
    for (auto& l : listeners) l->feed(step.data(), kStep);
    now += kStep;
    auto& h = history[static_cast<std::size_t>(historyAt = (historyAt + 1) % kHistorySteps)];
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = envelopes.amplitude(i);
    decide();
  }

  char heard() const {
    for (const auto& l : listeners)
      if (char c = l->code()) return c;
    return 0;
  }

  // How near the current digit's two tones are to their peak in this press: 1 at the peak, kPresentFraction at
  // the edge of the tone; 0 when either is below the level limit.
  float nearness(const std::array<float, 8>& amplitudes) const {
    const float l = amplitudes[static_cast<std::size_t>(low)], h = amplitudes[static_cast<std::size_t>(high)];
    if (l < 0.5f * minLevel || h < 0.5f * minLevel || peakLow <= 0 || peakHigh <= 0) return 0;
    return std::min(l / peakLow, h / peakHigh);
  }
  const std::array<float, 8>& latest() const { return history[static_cast<std::size_t>(historyAt)]; }
  bool present() const { return current && nearness(latest()) >= kPresentFraction; }

  // Where between two steps the nearness crossed the edge, as a fraction of a step from the earlier one.
  static double crossing(float earlier, float later) {
    if (earlier == later) return 0.5;
    return std::clamp((kPresentFraction - earlier) / static_cast<double>(later - earlier), 0.0, 1.0);
  }

  const std::array<float, 8>& stepsAgo(int back) const {
    return history[static_cast<std::size_t>((historyAt - back + kHistorySteps) % kHistorySteps)];
  }

  void startPress(char digit) {
    current = digit;
    reported = false;
    nextCheck = 0;
    firstHeard = now;
    heardSamples = 0;
    lastHeard = now;
    low = lowIndex(digit);
    high = highIndex(digit);
    // spandsp hears a tone up to three blocks after it began, perhaps after it ended: its peak, start and end are
    // found in the envelopes of the last 40 ms.
    peakLow = peakHigh = 0;
    for (int back = 0; back < kPeakSteps; ++back) {
      peakLow = std::max(peakLow, stepsAgo(back)[static_cast<std::size_t>(low)]);
      peakHigh = std::max(peakHigh, stepsAgo(back)[static_cast<std::size_t>(high)]);
    }
    int last = 0;
    while (last < kPeakSteps && nearness(stepsAgo(last)) < kPresentFraction) ++last;
    if (last == kPeakSteps) {  // nothing of it is left to measure
      lastPresent = now - minGapSamples;
      return;
    }
    lastPresent = now - last * kStep;
    lastNearness = nearness(stepsAgo(last));
    start = static_cast<double>(lastPresent);
    float laterNearness = lastNearness;
    for (int back = last + 1; back < kHistorySteps; ++back) {
      const float n = nearness(stepsAgo(back));
      if (n < kPresentFraction) {
        start -= kStep * (1 - crossing(n, laterNearness));
        break;
      }
      start -= kStep;
      laterNearness = n;
    }
    if (last > 0)
      toneEnded(static_cast<double>(lastPresent) + kStep * crossing(lastNearness, nearness(stepsAgo(last - 1))));
  }

  // A press shorter than the minimum is known to count only when it ends.
  void toneEnded(double end) { tryReport(end); }

  // Reports the press if its tone, up to `end`, has lasted the minimum, spandsp has heard enough of it, and its
  // frequencies are right.
  void tryReport(double end) {
    // spandsp hears a tone within three blocks of its start: what the envelopes show before that (the note before,
    // a neighbouring frequency leaking into an envelope) is no part of it.
    const double toneStart = std::max(start, static_cast<double>(firstHeard - kMaxUnheardSamples));
    if (reported || heardSamples < minHeardSamples || end - toneStart < minToneSamples) return;
    if (end - toneStart - static_cast<double>(heardSamples) > kMaxUnheardSamples) return;
    if (!fellSilentSince(toneStart)) return;
    // The latest part of the tone, at most kMaxSpan samples, without its first 2 ms (the envelopes' rise).
    const long oldest = now - kRecent + 1;
    const long to = std::min(now, static_cast<long>(std::floor(end)));
    const long from = std::max({static_cast<long>(std::ceil(toneStart)) + kStep, to - kMaxSpan, oldest});
    // A tone that lasts is measured again every 16 ms, not every step.
    if (to - from < kStep || now < nextCheck) return;
    nextCheck = now + 8 * kStep;
    // What the envelopes showed before spandsp heard the tone, when that is long enough to measure.
    const long beforeFrom = std::max(static_cast<long>(std::ceil(start)) + kStep, oldest),
               beforeTo = static_cast<long>(std::floor(toneStart));
    if (onFrequency(from, to, beforeTo - beforeFrom >= 4 * kStep ? beforeFrom : beforeTo, beforeTo)) report();
  }

  // Whether, when the same digit's press ended shortly before this one, one of its tones fell at least 20 dB below
  // this press's peak in between: a key released and pressed again, not a chord whose note decayed through the
  // edge of the press and came back.
  bool fellSilentSince(double toneStart) const {
    if (endedDigit != current || toneStart - static_cast<double>(ended) > (kHistorySteps - 1) * kStep) return true;
    float minLow = 1, minHigh = 1;
    for (int back = 0; back < kHistorySteps; ++back) {
      const long at = now - back * kStep;
      if (static_cast<double>(at) > toneStart) continue;
      if (at < ended) break;
      minLow = std::min(minLow, stepsAgo(back)[static_cast<std::size_t>(low)]);
      minHigh = std::min(minHigh, stepsAgo(back)[static_cast<std::size_t>(high)]);
    }
    return minLow <= kSilentFraction * peakLow || minHigh <= kSilentFraction * peakHigh;
  }

  // Whether both tones are within kMaxDeviation of their frequencies and steady over [from, to), and were not
  // there as strong over [beforeFrom, beforeTo) (when that is not empty): the same two notes sounding well before
  // spandsp took them are music that happened to pass its test for a moment.
  bool onFrequency(long from, long to, long beforeFrom, long beforeTo) {
    const long middle = (from + to) / 2;
    int before = 0;
    for (int i : {low, high}) {
      const double offset = recent.offset(kFrequencies[static_cast<std::size_t>(i)], from, to);
      if (std::abs(offset) > kMaxDeviation) return false;
      const double hz = kFrequencies[static_cast<std::size_t>(i)] * (1 + offset);
      const float first = recent.amplitude(hz, from, middle),
                  second = recent.amplitude(hz, middle, middle + (middle - from));
      if (std::min(first, second) < kSteadyFraction * std::max(first, second)) return false;
      if (beforeTo > beforeFrom &&
          recent.amplitude(hz, beforeFrom, beforeTo) >= kSteadyFraction * std::min(first, second))
        ++before;
    }
    return before < 2;
  }

  void report() {
    reported = true;
    if (owner.onDigit) owner.onDigit(current);
  }

  void decide() {
    const char digit = heard();
    if (digit != released) released = 0;
    if (digit && digit != current && digit != released) startPress(digit);
    if (!current) return;
    if (digit == current) {
      heardSamples += kStep;
      lastHeard = now;
    }
    const float n = nearness(latest());
    if (n >= kPresentFraction) {
      if (digit == current) {
        peakLow = std::max(peakLow, envelopes.amplitude(static_cast<std::size_t>(low)));
        peakHigh = std::max(peakHigh, envelopes.amplitude(static_cast<std::size_t>(high)));
      }
      lastPresent = now;
      lastNearness = n;
      // A held key counts as soon as it has lasted the minimum.
      if (!reported) tryReport(static_cast<double>(now));
    } else if (lastPresent == now - kStep) {
      toneEnded(static_cast<double>(lastPresent) + kStep * crossing(lastNearness, n));
    }
    // The press ends when its tones have been gone for the minimum gap (or spandsp has not heard them for longer).
    if (now - lastPresent >= minGapSamples || now - lastHeard >= minGapSamples + 2 * kBlock) {
      released = digit == current ? current : 0;
      endedDigit = current;
      ended = lastPresent;
      current = 0;
    }
  }

  // Whether `count` input samples may be skipped: the audio has been quiet long enough, and still is, with no press
  // under way and no receiver in a tone.
  bool quiet(const float* samples, std::size_t count) {
    if (peakOf(samples, count) >= quietLevel) {
      quietFor = 0;
      resting = false;
      return false;
    }
    // Resting, nothing that is looked at below can change: only the peak is measured.
    if (resting) return true;
    quietFor += static_cast<long>(count);
    if (quietFor < quietAfter || current || released) return false;
    for (const auto& l : listeners)
      if (l->code() || l->active()) return false;
    return resting = true;
  }
  // The clock goes on through skipped input.
  void skip(std::size_t count) {
    skipRemainder += static_cast<long>(count) * kRate;  // in 8 kHz samples times the input rate
    const long whole = skipRemainder / inputRate;
    skipRemainder -= whole * inputRate;
    now += whole;
  }

  DtmfDecoder& owner;
  DtmfSettings settings;
  Resampler toRate;
  float minLevel;
  long minHeardSamples, minToneSamples, minGapSamples;
  int inputRate;
  float quietLevel;
  long quietAfter, quietFor = 0, skipRemainder = 0;
  bool resting = false;  // quiet long enough with no press under way: input is skipped until it rises
  std::vector<std::unique_ptr<Listener>> listeners;
  ToneEnvelopes envelopes;
  DtmfBand band;
  RecentAudio recent;
  std::array<std::array<float, 8>, kHistorySteps> history{};
  int historyAt = 0;
  std::array<float, kStep> step{};
  int stepFill = 0;
  std::vector<float> converted;
  long now = 0;  // samples at 8 kHz
  char current = 0, released = 0;
  bool reported = false;
  int low = 0, high = 4;
  float peakLow = 0, peakHigh = 0;
  double start = 0;
  float lastNearness = 0;
  long lastPresent = 0, lastHeard = 0, heardSamples = 0, nextCheck = 0, firstHeard = 0;
  char endedDigit = 0;  // the digit of the last press that ended, and when its tones were last present
  long ended = 0;
};

DtmfDecoder::DtmfDecoder(int sampleRate, const DtmfSettings& settings)
    : impl_(std::make_unique<Impl>(*this, sampleRate, settings)) {}

DtmfDecoder::~DtmfDecoder() = default;

void DtmfDecoder::feed(const float* samples, std::size_t count) {
  Impl& d = *impl_;
  if (d.quiet(samples, count)) {
    d.skip(count);
    return;
  }
  d.converted.clear();
  d.toRate.process(samples, count, d.converted);
  for (float x : d.converted) d.feed8k(x);
}

float DtmfDecoder::quietPeak() const {
  return impl_->quietLevel;
}

bool DtmfDecoder::toneActive() const {
  if (impl_->resting) return false;
  for (const auto& l : impl_->listeners)
    if (l->active()) return true;
  return impl_->current && impl_->present();
}

}  // namespace qm::radio
