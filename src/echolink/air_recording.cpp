#include "echolink/air_recording.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace qm {

namespace {
constexpr std::uint32_t kHeaderBytes = 44;
// The RIFF size field counts everything after its own eight bytes and must fit in 32 bits.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void put16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
}  // namespace

AirRecording::AirRecording(std::filesystem::path path) : path_(std::move(path)) {
  file_ = std::fopen(path_.c_str(), "wb");
  if (!file_)
    throw std::runtime_error("cannot write the air recording " + path_.string() + ": " + std::strerror(errno));
  writeHeader();
  if (error_) {
    std::fclose(file_);
    file_ = nullptr;
    throw std::runtime_error(*error_);
  }
}

AirRecording::~AirRecording() {
  if (file_) std::fclose(file_);
}

void AirRecording::writeHeader() {
  unsigned char h[kHeaderBytes];
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, (kHeaderBytes - 8) + dataBytes_);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);  // size of the format chunk
  put16(h + 20, 1);   // PCM
  put16(h + 22, 1);   // mono
  put32(h + 24, kSampleRate);
  put32(h + 28, kSampleRate * 2);  // bytes a second
  put16(h + 32, 2);                // bytes a frame
  put16(h + 34, 16);               // bits a sample
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, dataBytes_);
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h ||
      std::fseek(file_, 0, SEEK_END) != 0 || std::fflush(file_) != 0)
    fail(std::strerror(errno));
}

void AirRecording::fail(const std::string& why) {
  if (error_) return;
  error_ = "the air recording " + path_.string() + " stopped: " + why;
  if (onError) onError(*error_);
}

void AirRecording::append(const std::int16_t* samples, std::size_t count) {
  if (error_ || count == 0) return;
  if (dataBytes_ + 2ull * count > kMaxDataBytes) return fail("it has reached the 4 GB a WAV file can hold");
  std::vector<unsigned char> bytes(2 * count);
  for (std::size_t i = 0; i < count; ++i) put16(&bytes[2 * i], static_cast<std::uint16_t>(samples[i]));
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return fail(std::strerror(errno));
  dataBytes_ += static_cast<std::uint32_t>(bytes.size());
  writeHeader();
}

void AirRecording::append(const std::vector<std::int16_t>& samples, int sampleRate) {
  if (sampleRate == kSampleRate || samples.empty() || sampleRate <= 0) {
    if (sampleRate == kSampleRate) append(samples);
    return;
  }
  std::size_t outCount = static_cast<std::size_t>(static_cast<double>(samples.size()) * kSampleRate / sampleRate);
  std::vector<std::int16_t> out(outCount);
  const double step = static_cast<double>(sampleRate) / kSampleRate;
  for (std::size_t i = 0; i < outCount; ++i) {
    double at = static_cast<double>(i) * step;
    std::size_t k = static_cast<std::size_t>(at);
    double frac = at - static_cast<double>(k);
    double a = samples[std::min(k, samples.size() - 1)];
    double b = samples[std::min(k + 1, samples.size() - 1)];
    out[i] = static_cast<std::int16_t>(a + (b - a) * frac);
  }
  append(out);
}

void AirRecording::appendSilence(std::chrono::milliseconds duration) {
  if (duration.count() <= 0) return;
  append(std::vector<std::int16_t>(static_cast<std::size_t>(duration.count()) * kSampleRate / 1000, 0));
}

}  // namespace qm
