#pragma once
// The air recording (--air FILE.wav): everything keyed onto the air (speech, Morse) appended to one WAV file, so a
// person can listen to what the node transmitted. 16-bit mono PCM at 22050 samples a second; the header is rewritten
// after every append, so the file is a valid WAV file at any moment, even if the program is killed.
//
// Where it is: main creates it and hands it to the program as Backends::air (null when no recording is asked for);
// the voices and the Morse generator append to it whatever they put on the air.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class AirRecording {
 public:
  static constexpr int kSampleRate = 22050;

  // Creates or empties the file; throws std::runtime_error naming it when it cannot be written.
  explicit AirRecording(std::filesystem::path path);
  ~AirRecording();
  AirRecording(const AirRecording&) = delete;
  AirRecording& operator=(const AirRecording&) = delete;

  // Samples at the recording's rate (kSampleRate).
  void append(const std::int16_t* samples, std::size_t count);
  void append(const std::vector<std::int16_t>& samples) { append(samples.data(), samples.size()); }
  // Samples at another rate, converted to the recording's rate by linear interpolation.
  void append(const std::vector<std::int16_t>& samples, int sampleRate);
  void appendSilence(std::chrono::milliseconds duration);

  int sampleRate() const { return kSampleRate; }
  std::uint64_t sampleCount() const { return dataBytes_ / 2; }
  const std::filesystem::path& path() const { return path_; }
  // The first failure to write (disk full, file over 4 GB); later appends are dropped. Empty while all is well.
  const std::optional<std::string>& error() const { return error_; }
  // Told of that first failure, so a person hears of it.
  std::function<void(const std::string&)> onError;

 private:
  void writeHeader();
  void fail(const std::string& why);

  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  std::uint32_t dataBytes_ = 0;
  std::optional<std::string> error_;
};

}  // namespace qm
