#include "radio/dtmf_decoder.h"

#include <spandsp.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "radio/resampler.h"

namespace qm::radio {

namespace {

constexpr int kDetectorRate = 8000;
// spandsp decides once per block of 102 samples (12.75 ms at 8 kHz); durations are counted in these blocks.
constexpr int kBlock = 102;
constexpr double kBlockMs = 1000.0 * kBlock / kDetectorRate;
// spandsp 0.0.6 takes a tone whose peak is L dBFS when its threshold is at most L + 3 dBm0 (measured with tones).
constexpr double kThresholdOverDbfs = 3;

int roundDb(double db) {
  return static_cast<int>(std::lround(db));
}

}  // namespace

struct DtmfDecoder::Impl {
  Impl(DtmfDecoder& owner, int sampleRate, const DtmfSettings& s)
      : owner(owner), settings(s), resampler(sampleRate, kDetectorRate), rx(dtmf_rx_init(nullptr, nullptr, nullptr)) {
    if (!rx) throw std::bad_alloc();
    dtmf_rx_set_realtime_callback(rx, &Impl::onTone, this);
    // spandsp's "twist" lets the low group be the stronger, its "reverse twist" the high group.
    dtmf_rx_parms(rx, 0, roundDb(settings.maxReverseTwistDb), roundDb(settings.maxTwistDb),
                  roundDb(settings.minLevelDbfs + kThresholdOverDbfs));
    // A tone of T blocks fills at least floor(T) - 1 blocks wherever it falls against them, so that many blocks with
    // the tone make a digit (and as many without it a gap): the minimum always counts, and anything shorter by two
    // blocks (25 ms) never does. spandsp itself needs two blocks either way.
    minToneBlocks = std::max(2, static_cast<int>(std::floor(settings.minToneMs / kBlockMs)) - 1);
    minGapBlocks = std::max(2, static_cast<int>(std::floor(settings.minGapMs / kBlockMs)) - 1);
  }

  ~Impl() { dtmf_rx_free(rx); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  static void onTone(void* user, int code, int /*level*/, int /*delay*/) {
    static_cast<Impl*>(user)->toneChanged(static_cast<char>(code));
  }

  void toneChanged(char code) {
    if (code) {
      // The same key back after a gap shorter than the minimum is one press held through a dropout.
      const bool bridged = code == digit && blockCount - offBlock < minGapBlocks;
      if (!bridged) {
        digit = code;
        onBlock = blockCount;
        reported = false;
      }
      inTone = true;
    } else {
      inTone = false;
      offBlock = blockCount;
    }
  }

  void runBlock(const int16_t* block) {
    ++blockCount;
    dtmf_rx(rx, block, kBlock);
    if (inTone && !reported && blockCount - onBlock + 1 >= minToneBlocks) {
      reported = true;
      if (owner.onDigit) owner.onDigit(digit);
    }
  }

  DtmfDecoder& owner;
  DtmfSettings settings;
  Resampler resampler;
  dtmf_rx_state_t* rx;
  std::vector<float> converted;
  int16_t block[kBlock]{};
  int blockFill = 0;
  long blockCount = 0;
  int minToneBlocks = 3, minGapBlocks = 3;
  bool inTone = false, reported = false;
  char digit = 0;
  long onBlock = 0, offBlock = -1000;
};

DtmfDecoder::DtmfDecoder(int sampleRate, const DtmfSettings& settings)
    : impl_(std::make_unique<Impl>(*this, sampleRate, settings)) {}

DtmfDecoder::~DtmfDecoder() = default;

void DtmfDecoder::feed(const float* samples, std::size_t count) {
  Impl& d = *impl_;
  d.converted.clear();
  d.resampler.process(samples, count, d.converted);
  for (float x : d.converted) {
    d.block[d.blockFill++] = static_cast<int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
    if (d.blockFill == kBlock) {
      d.runBlock(d.block);
      d.blockFill = 0;
    }
  }
}

bool DtmfDecoder::toneActive() const {
  // Nonzero from the first block that looks like a digit until spandsp has seen it end.
  return dtmf_rx_status(impl_->rx) != 0;
}

}  // namespace qm::radio
