// baresip's config with the radio node: the call's audio on JACK (float, mono, the server's rate, no automatic
// connections, a client name the node follows); without it, the sound devices the settings name.
#include <gtest/gtest.h>

#include "sip/sip_settings.h"

namespace qm {
namespace {

bool has(const std::string& config, const std::string& line) {
  return config.find(line + "\n") != std::string::npos;
}

TEST(SipJackConfig, TheRadioNodePutsTheCallOnJackWhateverTheDriver) {
  SipSettings s;
  s.audioDriver = "alsa";
  s.inputDevice = s.outputDevice = "plughw:1,0";
  s.jackClient = "quillmere-call";
  s.jackRate = 44100;
  const std::string c = baresipConfig(s, 4444);
  for (const char* line :
       {"audio_player    jack,call", "audio_source    jack,call", "jack_connect_ports no",
        "jack_client_name quillmere-call", "ausrc_format    float", "auplay_format   float", "ausrc_srate     44100",
        "auplay_srate    44100", "ausrc_channels  1", "auplay_channels 1", "module          jack.so"})
    EXPECT_TRUE(has(c, line)) << line << " missing from\n" << c;
  EXPECT_EQ(c.find("alsa"), std::string::npos) << c;
  EXPECT_EQ(c.find("plughw"), std::string::npos) << c;
}

TEST(SipJackConfig, WithoutTheRadioNodeTheSoundDevicesStay) {
  SipSettings s;
  s.audioDriver = "alsa";
  s.inputDevice = s.outputDevice = "plughw:1,0";
  const std::string c = baresipConfig(s, 4444);
  EXPECT_TRUE(has(c, "audio_player    alsa,plughw:1,0")) << c;
  EXPECT_TRUE(has(c, "audio_source    alsa,plughw:1,0")) << c;
  EXPECT_TRUE(has(c, "module          alsa.so")) << c;
  EXPECT_EQ(c.find("jack"), std::string::npos) << c;

  // AudioDriver=jack by hand (no radio node): JACK's format, its default client name, baresip's own connections.
  s.audioDriver = "jack";
  const std::string j = baresipConfig(s, 4444);
  EXPECT_TRUE(has(j, "jack_connect_ports yes")) << j;
  EXPECT_TRUE(has(j, "jack_client_name baresip")) << j;
  EXPECT_TRUE(has(j, "auplay_format   float")) << j;
  EXPECT_TRUE(has(j, "module          jack.so")) << j;
}

}  // namespace
}  // namespace qm
