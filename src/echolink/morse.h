#pragma once
// Morse code as it goes over the simulated air: text to timing, and timing to audio.
//
// Timing follows the PARIS standard: a dot is one unit, a dash three, the gap inside a character one, between
// characters three, between words seven; one unit lasts 1.2 s / words-per-minute (60 ms at 20 wpm). Letters are
// sent as capitals; a run of blanks is one word gap (at the start or end of the text too); characters without a
// Morse code are left out. The audio is a 700 Hz tone whose every element rises and falls with a 5 ms raised-cosine
// edge, so it does not click; the edges lie inside each element, so the timing stays exact.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One stretch of the keyed signal: tone (keyed) or silence, in units.
struct MorseElement {
  bool keyed;
  int units;
  bool operator==(const MorseElement&) const = default;
};

// The dots and dashes of one character (".-" for A), or nothing when it has no code. Lower case counts as upper.
std::optional<std::string_view> morseCode(char c);

// The elements that send `text`, in order.
std::vector<MorseElement> morseTiming(std::string_view text);

// How long `text` takes on the air at `wpm` words per minute.
std::chrono::milliseconds morseDuration(std::string_view text, int wpm = 20);

constexpr int kMorseToneHz = 700;

// `text` as 16-bit mono PCM at `sampleRate` samples per second. Throws std::invalid_argument unless sampleRate is
// 1000 to 384000 and wpm 1 to 100.
std::vector<std::int16_t> renderMorse(const std::string& text, int sampleRate, int wpm = 20);

}  // namespace qm
