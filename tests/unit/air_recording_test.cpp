// The air recording: a WAV file that is valid after every append.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "echolink/air_recording.h"

namespace qm {
namespace {

class AirRecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-air-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::vector<unsigned char> bytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
  }
  static std::uint16_t u16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
  }
  // Checks the header describes 16-bit mono PCM at 22050 Hz with exactly the data that follows it.
  void expectValidWav(const std::vector<unsigned char>& b) {
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(b, 16), 16u);
    EXPECT_EQ(u16(b, 20), 1);  // PCM
    EXPECT_EQ(u16(b, 22), 1);  // mono
    EXPECT_EQ(u32(b, 24), 22050u);
    EXPECT_EQ(u32(b, 28), 44100u);
    EXPECT_EQ(u16(b, 32), 2);
    EXPECT_EQ(u16(b, 34), 16);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(u32(b, 40), b.size() - 44);
  }

  std::filesystem::path dir_;
};

TEST_F(AirRecordingTest, AFreshRecordingIsAnEmptyValidWavFile) {
  auto path = dir_ / "air.wav";
  AirRecording air(path);
  auto b = bytes(path);
  EXPECT_EQ(b.size(), 44u);
  expectValidWav(b);
  EXPECT_EQ(air.sampleRate(), 22050);
  EXPECT_EQ(air.sampleCount(), 0u);
}

TEST_F(AirRecordingTest, TheHeaderFollowsEveryAppendAndSamplesAreLittleEndian) {
  auto path = dir_ / "air.wav";
  AirRecording air(path);
  air.append(std::vector<std::int16_t>{1, -2, 0x1234});
  auto b = bytes(path);  // read while the recording is still open
  expectValidWav(b);
  ASSERT_EQ(b.size(), 50u);
  EXPECT_EQ(u16(b, 44), 1);
  EXPECT_EQ(u16(b, 46), 0xFFFE);
  EXPECT_EQ(u16(b, 48), 0x1234);

  const std::int16_t more[] = {7, 8};
  air.append(more, 2);
  air.appendSilence(std::chrono::milliseconds(100));
  b = bytes(path);
  expectValidWav(b);
  EXPECT_EQ(air.sampleCount(), 3u + 2u + 2205u);
  EXPECT_EQ(b.size(), 44u + 2 * air.sampleCount());
  EXPECT_EQ(u16(b, 50), 7);
  EXPECT_EQ(u16(b, b.size() - 2), 0);
  EXPECT_FALSE(air.error());
}

TEST_F(AirRecordingTest, SamplesAtAnotherRateAreConverted) {
  auto path = dir_ / "air.wav";
  AirRecording air(path);
  // One second at 11025 Hz becomes one second at 22050 Hz; a constant stays that constant.
  air.append(std::vector<std::int16_t>(11025, 1000), 11025);
  EXPECT_EQ(air.sampleCount(), 22050u);
  // A ramp is interpolated between its points.
  air.append(std::vector<std::int16_t>{0, 100, 200, 300}, 44100);
  auto b = bytes(path);
  expectValidWav(b);
  EXPECT_EQ(u16(b, 44), 1000);
  EXPECT_EQ(u16(b, b.size() - 4), 0);
  EXPECT_EQ(u16(b, b.size() - 2), 200);
  // Nothing sensible to convert from.
  air.append(std::vector<std::int16_t>{1, 2}, 0);
  EXPECT_EQ(air.sampleCount(), 22052u);
}

TEST_F(AirRecordingTest, AFileThatCannotBeWrittenIsReportedByName) {
  auto path = dir_ / "no-such-folder" / "air.wav";
  try {
    AirRecording air(path);
    FAIL() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace qm
