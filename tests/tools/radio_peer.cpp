// radio_peer: a JACK client that stands in for the radio in tests and benchmarks. It plays into quillmere:radio_in
// what it is told on standard input and records quillmere:radio_out into a WAV file.
//
//   radio_peer --record OUT.wav [--to PORT] [--from PORT] [--client NAME]
// (named quillmere-call, it is a phone call's far end: the node links it to call_in and call_out itself)
//
// Commands, one a line on standard input; each answers one line on standard output once it is done:
//   dtmf DIGITS [ON_MS OFF_MS [LEVEL_DBFS]]   DTMF tones (default 100 ms on, 100 ms off, -10 dBFS a tone) -> "played"
//   play FILE.wav                              a 16-bit mono WAV file at the server's rate -> "played"
//   now                                        -> "now USEC" (JACK's clock)
//   onset                                      -> "onset USEC": when radio_out last went from silence to sound
//   quit                                       writes the recording and ends -> "sound_ms N" (how much of it
//                                              holds sound), then "bye"
// The recording is also written when standard input ends or on SIGTERM.
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

jack_client_t* client = nullptr;
jack_port_t *outPort = nullptr, *inPort = nullptr;
jack_ringbuffer_t* playRing = nullptr;
jack_ringbuffer_t* recordRing = nullptr;
std::atomic<std::uint64_t> lastOnsetUsec{0};
bool wasSilent = true;
jack_nframes_t silentRun = 0;
std::atomic<bool> stop{false};

int process(jack_nframes_t frames, void*) {
  auto* out = static_cast<float*>(jack_port_get_buffer(outPort, frames));
  std::size_t bytes = frames * sizeof(float);
  std::size_t got = jack_ringbuffer_read(playRing, reinterpret_cast<char*>(out), bytes);
  got -= got % sizeof(float);
  std::memset(reinterpret_cast<char*>(out) + got, 0, bytes - got);

  auto* in = static_cast<const float*>(jack_port_get_buffer(inPort, frames));
  if (jack_ringbuffer_write_space(recordRing) >= bytes)
    jack_ringbuffer_write(recordRing, reinterpret_cast<const char*>(in), bytes);
  // Sound after at least 200 ms of silence marks an onset, timed to the sample.
  jack_nframes_t start = jack_last_frame_time(client);
  jack_nframes_t rate = jack_get_sample_rate(client);
  for (jack_nframes_t i = 0; i < frames; ++i) {
    bool sound = std::fabs(in[i]) > 0.001f;
    if (sound && wasSilent && silentRun >= rate / 5) lastOnsetUsec = jack_frames_to_time(client, start + i);
    if (sound) {
      wasSilent = false;
      silentRun = 0;
    } else {
      wasSilent = true;
      ++silentRun;
    }
  }
  return 0;
}

void queue(const std::vector<float>& samples) {
  std::size_t at = 0;
  while (at < samples.size()) {
    std::size_t room = jack_ringbuffer_write_space(playRing) / sizeof(float);
    std::size_t n = std::min(room, samples.size() - at);
    jack_ringbuffer_write(playRing, reinterpret_cast<const char*>(samples.data() + at), n * sizeof(float));
    at += n;
    if (at < samples.size()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  while (jack_ringbuffer_read_space(playRing) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // One more period so the last samples have left the port.
  std::this_thread::sleep_for(
      std::chrono::milliseconds(1000 * jack_get_buffer_size(client) / jack_get_sample_rate(client) + 5));
}

std::vector<float> dtmfTones(const std::string& digits, int onMs, int offMs, double levelDbfs, int rate) {
  static const std::map<char, std::pair<int, int>> freq = {
      {'1', {697, 1209}}, {'2', {697, 1336}}, {'3', {697, 1477}}, {'A', {697, 1633}},
      {'4', {770, 1209}}, {'5', {770, 1336}}, {'6', {770, 1477}}, {'B', {770, 1633}},
      {'7', {852, 1209}}, {'8', {852, 1336}}, {'9', {852, 1477}}, {'C', {852, 1633}},
      {'*', {941, 1209}}, {'0', {941, 1336}}, {'#', {941, 1477}}, {'D', {941, 1633}}};
  double amp = std::pow(10.0, levelDbfs / 20);
  std::vector<float> out;
  for (char d : digits) {
    auto f = freq.find(d);
    if (f == freq.end()) continue;
    int n = rate * onMs / 1000;
    for (int i = 0; i < n; ++i) {
      double t = static_cast<double>(i) / rate;
      out.push_back(static_cast<float>(amp * (std::sin(2 * std::numbers::pi * f->second.first * t) +
                                              std::sin(2 * std::numbers::pi * f->second.second * t))));
    }
    out.insert(out.end(), static_cast<std::size_t>(rate * offMs / 1000), 0.0f);
  }
  return out;
}

std::vector<float> readWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<float> out;
  for (std::size_t i = 12; i + 8 <= all.size();) {
    std::uint32_t size;
    std::memcpy(&size, &all[i + 4], 4);
    if (std::memcmp(&all[i], "data", 4) == 0) {
      for (std::size_t j = i + 8; j + 1 < all.size() && j < i + 8 + size; j += 2) {
        std::int16_t s;
        std::memcpy(&s, &all[j], 2);
        out.push_back(static_cast<float>(s) / 32768.0f);
      }
      break;
    }
    i += 8 + size + (size & 1);
  }
  return out;
}

void writeWav(const std::string& path, const std::vector<std::int16_t>& pcm, int rate) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  std::uint32_t bytes = static_cast<std::uint32_t>(pcm.size() * 2);
  out.write("RIFF", 4);
  u32(36 + bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(static_cast<std::uint32_t>(rate));
  u32(static_cast<std::uint32_t>(rate * 2));
  u16(2);
  u16(16);
  out.write("data", 4);
  u32(bytes);
  out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

bool connectWhenThere(const std::string& from, const std::string& to) {
  for (int i = 0; i < 200; ++i) {
    // Already connected counts: the node links a client named as baresip's itself.
    if (const int r = jack_connect(client, from.c_str(), to.c_str()); r == 0 || r == EEXIST) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::cerr << "radio_peer: cannot connect " << from << " to " << to << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string record, to = "quillmere:radio_in", from = "quillmere:radio_out", name = "radio_peer";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--record")
      record = argv[i + 1];
    else if (a == "--to")
      to = argv[i + 1];
    else if (a == "--from")
      from = argv[i + 1];
    else if (a == "--client")
      name = argv[i + 1];
  }
  jack_status_t status;
  client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!client) {
    std::cerr << "radio_peer: no JACK server\n";
    return 1;
  }
  playRing = jack_ringbuffer_create(1 << 20);
  recordRing = jack_ringbuffer_create(1 << 22);
  outPort = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  inPort = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client, process, nullptr);
  jack_activate(client);
  std::string self = jack_get_client_name(client);
  if (!connectWhenThere(self + ":out", to) || !connectWhenThere(from, self + ":in")) return 1;
  int rate = static_cast<int>(jack_get_sample_rate(client));

  std::vector<std::int16_t> recorded;
  std::thread drain([&] {
    std::vector<float> buf(4096);
    while (!stop) {
      std::size_t n = jack_ringbuffer_read(recordRing, reinterpret_cast<char*>(buf.data()), buf.size() * 4) / 4;
      for (std::size_t i = 0; i < n; ++i)
        recorded.push_back(static_cast<std::int16_t>(std::lround(std::clamp(buf[i], -1.0f, 1.0f) * 32767)));
      if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  signal(SIGTERM, [](int) { ::close(STDIN_FILENO); });
  std::cout << "ready " << rate << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string cmd;
    words >> cmd;
    if (cmd == "dtmf") {
      std::string digits;
      int on = 100, off = 100;
      double level = -10;
      words >> digits;
      if (int v; words >> v) on = v;
      if (int v; words >> v) off = v;
      if (double v; words >> v) level = v;
      queue(dtmfTones(digits, on, off, level, rate));
      std::cout << "played" << std::endl;
    } else if (cmd == "play") {
      std::string path;
      words >> path;
      queue(readWav(path));
      std::cout << "played" << std::endl;
    } else if (cmd == "now") {
      std::cout << "now " << jack_get_time() << std::endl;
    } else if (cmd == "onset") {
      std::cout << "onset " << lastOnsetUsec.load() << std::endl;
    } else if (cmd == "quit") {
      break;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop = true;
  drain.join();
  jack_client_close(client);
  if (!record.empty()) writeWav(record, recorded, rate);
  // How much of the recording holds sound: 10 ms blocks with a peak over -40 dBFS.
  std::size_t block = static_cast<std::size_t>(rate / 100), loud = 0;
  for (std::size_t at = 0; at + block <= recorded.size(); at += block) {
    int peak = 0;
    for (std::size_t i = at; i < at + block; ++i) peak = std::max(peak, std::abs(static_cast<int>(recorded[i])));
    if (peak > 327) ++loud;
  }
  std::cout << "sound_ms " << loud * 10 << std::endl;
  std::cout << "bye" << std::endl;
  return 0;
}
