#include "radio/jack_audio.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "radio/audio_level.h"

namespace qm::radio {

namespace {

constexpr std::size_t kRingBytes = 1 << 18;     // 64k samples: over a second at 48 kHz each way
constexpr std::chrono::seconds kCloseBound{2};  // the longest a frozen server may hold the node's closing

std::string statusText(jack_status_t s) {
  std::string out;
  auto add = [&](const char* t) { out += (out.empty() ? "" : ", ") + std::string(t); };
  if (s & JackServerFailed) add("no JACK server is running (or it cannot be reached)");
  if (s & JackServerError) add("the JACK server refused the connection");
  if (s & JackNameNotUnique) add("the client name is taken");
  if (s & JackVersionError) add("the JACK server speaks another protocol version");
  if (s & JackShmFailure) add("JACK's shared memory could not be used");
  if (out.empty()) add("the JACK server could not be reached");
  return out;
}

std::string listPorts(jack_client_t* client, unsigned long flags) {
  const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags);
  std::string out;
  for (const char** p = ports; p && *p; ++p) out += (out.empty() ? "" : ", ") + std::string(*p);
  if (ports) jack_free(ports);
  return out.empty() ? "none" : out;
}

}  // namespace

JackAudio::JackAudio() {
  rx_ = jack_ringbuffer_create(kRingBytes);
  tx_ = jack_ringbuffer_create(kRingBytes);
  callRx_ = jack_ringbuffer_create(kRingBytes);
  callTx_ = jack_ringbuffer_create(kRingBytes);
  portsFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  goneFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  soundFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

JackAudio::~JackAudio() {
  // A client that could not be closed may still call in: what it uses stays.
  if (!close() || abandoned_) return;
  jack_ringbuffer_free(rx_);
  jack_ringbuffer_free(tx_);
  jack_ringbuffer_free(callRx_);
  jack_ringbuffer_free(callTx_);
  if (goneFd_ >= 0) ::close(goneFd_);
  if (portsFd_ >= 0) ::close(portsFd_);
  if (soundFd_ >= 0) ::close(soundFd_);
}

bool JackAudio::open(const std::string& clientName, std::string& error) {
  close();
  jack_status_t status{};
  client_ = jack_client_open(clientName.c_str(), JackOptions(JackNoStartServer | JackUseExactName), &status);
  if (!client_) {
    error = statusText(status);
    return false;
  }
  rate_ = static_cast<int>(jack_get_sample_rate(client_));
  period_ = jack_get_buffer_size(client_);
  // radio_in's ring holds two seconds, twice the longest a resting node leaves it unread (no callback runs yet).
  const std::size_t receiveBytes = std::bit_ceil(2 * static_cast<std::size_t>(rate_) * sizeof(float));
  if (rx_->size < receiveBytes) {
    if (!abandoned_) jack_ringbuffer_free(rx_);  // a client left to a frozen server may still write to the old one
    rx_ = jack_ringbuffer_create(receiveBytes);
  }
  auto reg = [&](const char* name, unsigned long flags) {
    return jack_port_register(client_, name, JACK_DEFAULT_AUDIO_TYPE, flags, 0);
  };
  radioIn_ = reg("radio_in", JackPortIsInput);
  radioOut_ = reg("radio_out", JackPortIsOutput);
  callIn_ = reg("call_in", JackPortIsInput);
  callOut_ = reg("call_out", JackPortIsOutput);
  if (!radioIn_ || !radioOut_ || !callIn_ || !callOut_) {
    error = "JACK would not register the ports radio_in, radio_out, call_in and call_out";
    close();
    return false;
  }
  // Nobody reads or writes the rings while no client runs: they can start empty.
  jack_ringbuffer_reset(rx_);
  jack_ringbuffer_reset(tx_);
  jack_ringbuffer_reset(callRx_);
  jack_ringbuffer_reset(callTx_);
  radioOutSilent_ = callOutSilent_ = false;
  callLinked_ = false;
  eventfd_t drop;
  (void)::eventfd_read(goneFd_, &drop);
  gone_ = false;
  jack_set_process_callback(client_, &JackAudio::process, this);
  jack_on_shutdown(client_, &JackAudio::shutdown, this);
  jack_set_port_registration_callback(client_, &JackAudio::portRegistered, this);
  // A link is made a moment after jack_connect returns: its callback says when it counts.
  jack_set_port_connect_callback(client_, &JackAudio::portConnected, this);
  jack_set_xrun_callback(client_, &JackAudio::xrun, this);
  jack_set_buffer_size_callback(client_, &JackAudio::bufferSize, this);
  if (jack_activate(client_) != 0) {
    error = "JACK would not activate the client";
    close();
    return false;
  }
  return true;
}

bool JackAudio::close() {
  if (!client_) return true;
  jack_client_t* client = client_;
  client_ = nullptr;  // the process callback uses the ports, which stay until the client is closed
  // Both calls ask the server and wait for its answer, for ever when it is frozen (SIGSTOP): they run on a thread of
  // their own, waited for a while; a client that does not close by then is left to the process's end.
  auto closed = std::make_shared<std::promise<void>>();
  std::future<void> done = closed->get_future();
  const bool gone = gone_;
  std::thread([client, gone, closed] {
    if (!gone) jack_deactivate(client);
    jack_client_close(client);
    closed->set_value();
  }).detach();
  if (done.wait_for(kCloseBound) == std::future_status::ready) {
    radioIn_ = radioOut_ = callIn_ = callOut_ = nullptr;
    return true;
  }
  abandoned_ = true;
  return false;
}

bool JackAudio::connectRadio(const std::string& capture, const std::string& playback, std::string& error) {
  std::string self = jack_get_client_name(client_);
  auto link = [&](const std::string& from, const std::string& to, const std::string& key, unsigned long flags) {
    int r = jack_connect(client_, from.c_str(), to.c_str());
    if (r == 0 || r == EEXIST) return true;
    error = "JACK could not connect " + from + " to " + to + " (" + key +
            "); the ports that exist: " + listPorts(client_, flags);
    return false;
  };
  if (!capture.empty() && !link(capture, self + ":radio_in", "CapturePort", JackPortIsOutput)) return false;
  if (!playback.empty() && !link(self + ":radio_out", playback, "PlaybackPort", JackPortIsInput)) return false;
  return true;
}

std::size_t JackAudio::readRing(jack_ringbuffer_t* ring, float* out, std::size_t max) {
  std::size_t bytes = std::min(jack_ringbuffer_read_space(ring), max * sizeof(float));
  bytes -= bytes % sizeof(float);
  return jack_ringbuffer_read(ring, reinterpret_cast<char*>(out), bytes) / sizeof(float);
}

std::size_t JackAudio::writeRing(jack_ringbuffer_t* ring, const float* samples, std::size_t count) {
  std::size_t bytes = std::min(jack_ringbuffer_write_space(ring), count * sizeof(float));
  bytes -= bytes % sizeof(float);
  return jack_ringbuffer_write(ring, reinterpret_cast<const char*>(samples), bytes) / sizeof(float);
}

std::size_t JackAudio::writeCall(const float* samples, std::size_t count) {
  const std::size_t put = writeRing(callTx_, samples, count);
  if (put < count) callTxOverruns_.fetch_add(1, std::memory_order_relaxed);
  return put;
}

AudioOverruns JackAudio::overruns() const {
  auto get = [](const std::atomic<std::uint64_t>& a) { return a.load(std::memory_order_relaxed); };
  return {get(xruns_), get(rxOverruns_), get(txUnderruns_), get(callRxOverruns_), get(callTxOverruns_)};
}

bool JackAudio::followCall(const std::string& peer) {
  if (!client_) return false;
  eventfd_t drop;
  (void)::eventfd_read(portsFd_, &drop);
  std::string self = jack_get_client_name(client_);
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0);
  for (const char** p = ports; p && *p; ++p) {
    std::string name = *p;
    std::size_t colon = name.find(':');
    if (colon == std::string::npos) continue;
    std::string owner = name.substr(0, colon);
    if (owner != peer && owner.rfind(peer + "-", 0) != 0) continue;
    jack_port_t* port = jack_port_by_name(client_, *p);
    if (!port) continue;
    if (jack_port_flags(port) & JackPortIsOutput)
      jack_connect(client_, *p, (self + ":call_in").c_str());
    else
      jack_connect(client_, (self + ":call_out").c_str(), *p);
  }
  if (ports) jack_free(ports);
  const bool hears = jack_port_connected(callIn_) > 0;
  callLinked_.store(hears, std::memory_order_relaxed);
  return hears || jack_port_connected(callOut_) > 0;
}

std::chrono::milliseconds JackAudio::ringTime() const {
  const std::size_t samples = (rx_->size / sizeof(float)) / 2;
  return std::chrono::milliseconds(rate_ > 0 ? static_cast<long>(samples) * 1000 / rate_ : 0);
}

std::size_t JackAudio::transmitQueued() const {
  return jack_ringbuffer_read_space(tx_) / sizeof(float);
}

std::uint32_t JackAudio::framesUntilOutput() const {
  if (!client_) return 0;
  // What is queued now is taken at the start of the next cycle.
  jack_nframes_t since = jack_frame_time(client_) - jack_last_frame_time(client_);
  return since >= period_ ? 0 : period_ - since;
}

bool JackAudio::toRing(jack_ringbuffer_t* ring, const void* in, jack_nframes_t frames) {
  const std::size_t bytes = frames * sizeof(float);
  if (jack_ringbuffer_write_space(ring) < bytes) return false;
  jack_ringbuffer_write(ring, static_cast<const char*>(in), bytes);
  return true;
}

bool JackAudio::fromRing(jack_ringbuffer_t* ring, jack_port_t* port, jack_nframes_t frames, bool& silent) {
  // JACK leaves an output port's buffer as its client wrote it: silence written once stays silence, and an idle node
  // need not touch the port again.
  if (silent && jack_ringbuffer_read_space(ring) == 0) return false;
  const std::size_t bytes = frames * sizeof(float);
  auto* out = static_cast<char*>(jack_port_get_buffer(port, frames));
  std::size_t got = jack_ringbuffer_read(ring, out, bytes);
  got -= got % sizeof(float);
  std::memset(out + got, 0, bytes - got);
  silent = got == 0;
  return got == bytes;
}

int JackAudio::process(jack_nframes_t frames, void* arg) {
  auto* self = static_cast<JackAudio*>(arg);
  self->cycles_.fetch_add(1, std::memory_order_relaxed);
  if (self->resized_.load(std::memory_order_relaxed) && self->resized_.exchange(false, std::memory_order_relaxed))
    self->radioOutSilent_ = self->callOutSilent_ = false;
  const auto* in = static_cast<const float*>(jack_port_get_buffer(self->radioIn_, frames));
  // A node that did not keep up (an overloaded machine) loses this period's receive audio.
  if (!toRing(self->rx_, in, frames)) self->rxOverruns_.fetch_add(1, std::memory_order_relaxed);
  // A resting node is woken by sound, once (a non-blocking eventfd: one write, no wait).
  if (const float wake = self->wakePeak_.load(std::memory_order_relaxed); wake >= 0) {
    if (peakOf(in, frames) >= wake) {
      self->wakePeak_.store(-1.0f, std::memory_order_relaxed);
      (void)::eventfd_write(self->soundFd_, 1);
    }
  }
  if (!fromRing(self->tx_, self->radioOut_, frames, self->radioOutSilent_) &&
      self->backlog_.load(std::memory_order_relaxed))
    self->txUnderruns_.fetch_add(1, std::memory_order_relaxed);
  // call_in is only silence until a call's ports are linked to it: nobody would hear it.
  if (self->callLinked_.load(std::memory_order_relaxed) &&
      !toRing(self->callRx_, jack_port_get_buffer(self->callIn_, frames), frames))
    self->callRxOverruns_.fetch_add(1, std::memory_order_relaxed);
  fromRing(self->callTx_, self->callOut_, frames, self->callOutSilent_);
  return 0;
}

int JackAudio::bufferSize(jack_nframes_t, void* arg) {
  // New port buffers hold whatever the server put there: write them once more.
  static_cast<JackAudio*>(arg)->resized_.store(true, std::memory_order_relaxed);
  return 0;
}

int JackAudio::xrun(void* arg) {
  static_cast<JackAudio*>(arg)->xruns_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

void JackAudio::portRegistered(jack_port_id_t, int, void* arg) {
  // Called on JACK's notification thread, where the server must not be asked anything: the node's thread looks.
  (void)::eventfd_write(static_cast<JackAudio*>(arg)->portsFd_, 1);
}

void JackAudio::portConnected(jack_port_id_t, jack_port_id_t, int, void* arg) {
  (void)::eventfd_write(static_cast<JackAudio*>(arg)->portsFd_, 1);
}

void JackAudio::shutdown(void* arg) {
  auto* self = static_cast<JackAudio*>(arg);
  self->gone_ = true;
  (void)::eventfd_write(self->goneFd_, 1);
}

}  // namespace qm::radio
