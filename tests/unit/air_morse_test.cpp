// What the courtesy controller and the identifier key onto the air, recorded with --air and decoded back to text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "echolink/air_recording.h"
#include "morse_decoder.h"
#include "scenario/scenario_runner.h"

namespace qm {
namespace {

std::vector<std::int16_t> samplesOf(const std::filesystem::path& wav) {
  std::ifstream in(wav, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

TEST(AirMorse, CourtesyLettersAndIdentificationDecodeFromTheRecording) {
  char dir[] = "/tmp/quillmere-air-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::filesystem::path folder(dir);
  std::ofstream(folder / "air.scn") << R"(file quillmere.ini "[SETTINGS]\r\nCheck1=0\r\n"
file quillmere_courtsey.ini "[SETTINGS]\r\nCWCALLSIGN=N0CALL/R\r\nIPCOURTESY=I\r\n"
start
carrier on
wait 4s
carrier off
wait 1s
expect cw "K"
rx on
wait 2s
rx off
expect cw "I"
click Form21.SendCW
expect cw "N0CALL/R"
)";
  {
    AirRecording air(folder / "air.wav");
    ScenarioOptions o;
    o.script = folder / "air.scn";
    std::ostringstream errors;
    o.errors = &errors;
    o.air = &air;
    ASSERT_EQ(runScenario(o), 0) << errors.str();
  }
  EXPECT_EQ(decode(samplesOf(folder / "air.wav"), AirRecording::kSampleRate, 20), "K I N0CALL/R");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qm
